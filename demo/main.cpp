// talvo-demo-server: the demo application server for ./run and the tests.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "demo/DemoOptions.h"
#include "demo/DemoServer.h"

namespace {
volatile std::sig_atomic_t stopRequested = 0;
extern "C" void onStopSignal(int) { stopRequested = 1; }
} // namespace

int main(int argc, char** argv)
{
    using namespace talvo::demo;
    const std::string program = argc > 0 ? argv[0] : "talvo-demo-server";
    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "%s: %s\n\n%s", program.c_str(), parsed.error.c_str(), usage(program).c_str());
        return 2;
    }
    if (parsed.options->help) {
        std::fputs(usage(program).c_str(), stdout);
        return 0;
    }

    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN); // a client that hangs up must not end the server
#endif

    DemoServer server(*parsed.options, stdout);
    const int port = server.bind();
    if (port < 0) {
        std::fprintf(stderr, "%s: cannot listen on 127.0.0.1:%d\n", program.c_str(), parsed.options->port);
        return 1;
    }
    // The extra ports first: whoever waits for the listening line can read them already.
    if (server.appPort() > 0)
        std::printf("application on 127.0.0.1:%d\n", server.appPort());
    if (server.tlsPort() > 0)
        std::printf("tls listening on 127.0.0.1:%d\n", server.tlsPort());
    std::printf("listening on 127.0.0.1:%d\n", port);
    std::fflush(stdout);

    // Signal handlers may only set a flag; this watcher turns it into a clean stop.
    std::atomic<bool> served{false};
    // Stopping again until serve() returns covers a signal that came before it started.
    std::thread watcher([&server, &served] {
        while (!served) {
            if (stopRequested)
                server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const bool ok = server.serve();
    served = true;
    watcher.join();
    return ok ? 0 : 1;
}
