#include "../CodePage.h"

#include <climits>

#include <windows.h>

// Windows does the real work; these only adapt the types.
namespace talvo::platform {

int activeCodePage() { return static_cast<int>(GetACP()); }

int wideCharToMultiByte(int codePage, std::uint32_t flags, const char16_t* text, int textLength, char* buffer,
                        int bufferSize)
{
    if (codePage < 0)
        return 0;
    return WideCharToMultiByte(static_cast<UINT>(codePage), flags, reinterpret_cast<LPCWCH>(text), textLength,
                               buffer, bufferSize, nullptr, nullptr);
}

int multiByteToWideChar(int codePage, std::uint32_t flags, const char* bytes, int byteLength, char16_t* buffer,
                        int bufferSize)
{
    if (codePage < 0)
        return 0;
    return MultiByteToWideChar(static_cast<UINT>(codePage), flags, bytes, byteLength,
                               reinterpret_cast<LPWSTR>(buffer), bufferSize);
}

std::string textToAnsi(std::u16string_view text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const auto* wide = reinterpret_cast<LPCWCH>(text.data());
    const int length = static_cast<int>(text.size());
    const int need = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (need <= 0)
        return {};
    std::string out(static_cast<std::size_t>(need), '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, length, out.data(), need, nullptr, nullptr);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

std::u16string ansiToText(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int length = static_cast<int>(bytes.size());
    const int need = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    if (need <= 0)
        return {};
    std::u16string out(static_cast<std::size_t>(need), u'\0');
    const int written =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<LPWSTR>(out.data()), need);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

} // namespace talvo::platform
