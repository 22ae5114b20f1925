#include "../SystemBrowser.h"

#include <string>
#include <windows.h>

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
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace talvo::platform
