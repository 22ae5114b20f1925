#include "../SystemBrowser.h"

#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "../ChildEnvironment.h"
#include "../Utf.h"

extern char** environ;

namespace talvo::platform {

bool openInSystemBrowser(std::u16string_view address)
{
    std::string program = "xdg-open";
    std::string argument = toUtf8(address);
    // An empty address starts the opener with no argument at all.
    char* argv[] = {program.data(), address.empty() ? nullptr : argument.data(), nullptr};
    // The user's environment, without our engine's variables.
    std::vector<std::string> kept = childEnvironment(environ);
    std::vector<char*> environment;
    for (std::string& entry : kept)
        environment.push_back(entry.data());
    environment.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environment.data()) != 0)
        return false;
    // We never wait for the browser, but the child must still be reaped.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

} // namespace talvo::platform
