#include "SystemMessage.h"

#include "../Utf.h"

#include <windows.h>

namespace talvo::platform {

std::string systemMessage(unsigned long error)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                       | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::u16string message;
    if (n > 0 && text != nullptr)
        message.assign(reinterpret_cast<const char16_t*>(text), n);
    LocalFree(text);
    while (!message.empty()
           && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' ' || message.back() == u'.'
               || message.back() == u'\u3002'))
        message.pop_back();
    if (message.empty())
        return "system error " + std::to_string(error);
    return toUtf8(message);
}

bool inDeviceNamespace(const std::filesystem::path& path)
{
    const std::wstring& name = path.native();
    return name.rfind(L"\\\\.\\", 0) == 0 || name.rfind(L"//./", 0) == 0 || name.rfind(L"\\\\?\\pipe\\", 0) == 0;
}

} // namespace talvo::platform
