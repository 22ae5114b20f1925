#include "login/logic/HostPort.h"

namespace talvo::loginlogic {

bool isValidPort(std::u16string_view port)
{
    if (port.empty() || port.size() > 5)
        return false;
    long value = 0;
    for (char16_t c : port) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    return value >= 1 && value <= 65535;
}

} // namespace talvo::loginlogic
