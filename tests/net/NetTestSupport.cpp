#include "NetTestSupport.h"

#include "net/RandomSequence.h"
#include "platform/Utf.h"

namespace talvo::test {

HttpLimits quickLimits()
{
    HttpLimits limits;
    limits.resolve = 500ms;
    limits.connect = 500ms;
    limits.send = 500ms;
    limits.receive = 500ms;
    return limits;
}

std::u16string u16(const std::string& utf8) { return platform::fromUtf8(utf8); }
std::string u8(const std::u16string& text) { return platform::toUtf8(text); }

int upcomingRnm()
{
    RandomSequence copy = processRandomSequence();
    return static_cast<int>(static_cast<double>(copy.next()) * 10000.0);
}

} // namespace talvo::test
