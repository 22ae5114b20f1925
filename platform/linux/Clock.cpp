#include "../Clock.h"

#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace talvo::platform {

LocalTime localNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

long long millisecondsSinceProcessStart()
{
    // The start is in clock ticks since boot, the 22nd field of stat, after the command
    // name in brackets (which may hold blanks and brackets itself).
    std::ifstream file("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    unsigned long long startTicks = 0;
    for (int index = 3; fields >> field; ++index)
        if (index == 22) {
            startTicks = std::stoull(field);
            break;
        }
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    timespec now{};
    if (startTicks == 0 || ticksPerSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const long long nowMs = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return nowMs - static_cast<long long>(startTicks * 1000 / static_cast<unsigned long long>(ticksPerSecond));
}

} // namespace talvo::platform
