#include "basInCodePage.h"

#include "platform/CodePage.h"
#include "platform/RuntimeError.h"

namespace talvo::basInCodePage {

std::string UnicodeToCodePage(std::u16string text, std::int32_t codePage, const std::int32_t& flags)
{
    if (codePage == -1)
        codePage = platform::activeCodePage();
    const auto f = static_cast<std::uint32_t>(flags);
    const int size = platform::wideCharToMultiByte(codePage, f, text.c_str(), -1, nullptr, 0);
    // One byte more than asked for, as a guard.
    std::string buffer(static_cast<std::size_t>(size) + 1, '\0');
    const int written = platform::wideCharToMultiByte(codePage, f, text.c_str(), -1, buffer.data(),
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
    const int size = platform::multiByteToWideChar(codePage, f, bytes.c_str(), -1, nullptr, 0);
    std::u16string buffer(static_cast<std::size_t>(size) + 1, u'\0');
    const int written = platform::multiByteToWideChar(codePage, f, bytes.c_str(), -1, buffer.data(),
                                                      static_cast<int>(buffer.size()));
    if (written - 1 < 0)
        throw RuntimeError(RuntimeError::kInvalidArgument);
    buffer.resize(static_cast<std::size_t>(written - 1));
    return buffer;
}

} // namespace talvo::basInCodePage
