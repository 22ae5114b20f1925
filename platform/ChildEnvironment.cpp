#include "platform/ChildEnvironment.h"

namespace talvo::platform {

namespace {

constexpr std::string_view kEnginePrefix = "QTWEBENGINE_";

template<class Char>
bool passes(std::basic_string_view<Char> entry)
{
    if (entry.size() < kEnginePrefix.size())
        return true;
    for (std::size_t i = 0; i < kEnginePrefix.size(); ++i) {
        Char c = entry[i];
        if (c >= Char('a') && c <= Char('z'))
            c = static_cast<Char>(c - Char('a') + Char('A'));
        if (c != Char(kEnginePrefix[i]))
            return true;
    }
    return false;
}

} // namespace

bool passedToChild(std::u16string_view entry) { return passes(entry); }
bool passedToChild(std::string_view entry) { return passes(entry); }

std::vector<std::string> childEnvironment(const char* const* environment)
{
    std::vector<std::string> out;
    for (; environment && *environment; ++environment)
        if (passedToChild(std::string_view(*environment)))
            out.emplace_back(*environment);
    return out;
}

} // namespace talvo::platform
