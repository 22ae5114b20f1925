#include "basInCodePage.h"

#include <climits>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/RuntimeError.h"

namespace talvo::basInCodePage {

namespace {

// The input as the platform sees it with length -1: up to the first terminator, which
// is counted too (a string always holds one after its end). Found once here instead of
// once per platform call. Longer than an int: -1 lets the platform refuse it.
int terminatedLength(std::size_t end, std::size_t size)
{
    const std::size_t n = (end < size ? end : size) + 1;
    return n > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(n);
}

// The first U+0000 within the text, four units per step (all reads stay inside it).
std::size_t firstZero(const std::u16string& text)
{
    const char16_t* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        if (((v - 0x0001000100010001ull) & ~v & 0x8000800080008000ull) != 0)
            break;
    }
    for (; i < n; ++i)
        if (p[i] == 0)
            return i;
    return n;
}

} // namespace

std::string UnicodeToCodePage(std::u16string text, std::int32_t codePage, const std::int32_t& flags)
{
    if (codePage == -1)
        codePage = platform::activeCodePage();
    const auto f = static_cast<std::uint32_t>(flags);
    const int length = terminatedLength(firstZero(text), text.size());
    const int size = platform::wideCharToMultiByte(codePage, f, text.c_str(), length, nullptr, 0);
    // One byte more than asked for, as a guard.
    std::string buffer(static_cast<std::size_t>(size) + 1, '\0');
    const int written = platform::wideCharToMultiByte(codePage, f, text.c_str(), length, buffer.data(),
                                                      static_cast<int>(buffer.size()));
    if (written - 1 < 0)
        throw RuntimeError(RuntimeError::kInvalidArgument);
    buffer.resize(static_cast<std::size_t>(written - 1));
    return buffer;
}

std::u16string CodePageToUnicode(std::string bytes, std::int32_t codePage, const std::int32_t& flags)
{
    if (codePage == -1)
        codePage = platform::activeCodePage();
    const auto f = static_cast<std::uint32_t>(flags);
    const int length = terminatedLength(bytes.find('\0'), bytes.size());
    const int size = platform::multiByteToWideChar(codePage, f, bytes.c_str(), length, nullptr, 0);
    std::u16string buffer(static_cast<std::size_t>(size) + 1, u'\0');
    const int written = platform::multiByteToWideChar(codePage, f, bytes.c_str(), length, buffer.data(),
                                                      static_cast<int>(buffer.size()));
    if (written - 1 < 0)
        throw RuntimeError(RuntimeError::kInvalidArgument);
    buffer.resize(static_cast<std::size_t>(written - 1));
    return buffer;
}

} // namespace talvo::basInCodePage
