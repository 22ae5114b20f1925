#include "../SystemBrowser.h"

#include <cwchar>
#include <string>
#include <string_view>
#include <windows.h>

#include "../ChildEnvironment.h"

namespace talvo::platform {

bool openInSystemBrowser(std::u16string_view address)
{
    // Explorer gets the address as its one argument; no shell parses the line.
    std::wstring commandLine = L"explorer.exe ";
    commandLine.append(address.begin(), address.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    // The user's environment, without our engine's variables.
    std::wstring environment;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1) {
            const std::wstring_view text(entry);
            if (passedToChild(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size())))
                environment.append(text).push_back(L'\0');
        }
        FreeEnvironmentStringsW(block);
    }
    environment.push_back(L'\0');
    environment.push_back(L'\0');
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace talvo::platform
