#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace talvo::test {

// The demo server binary, started on a free loopback port for one test and stopped
// (SIGTERM, then SIGKILL if it lingers) when the object goes.
class DemoProcess {
public:
    explicit DemoProcess(std::vector<std::string> options = {});
    ~DemoProcess();
    DemoProcess(const DemoProcess&) = delete;
    DemoProcess& operator=(const DemoProcess&) = delete;

    int port() const { return port_; }
    std::u16string host() const; // "127.0.0.1:PORT"
    std::string url(const std::string& target) const;

    // Request lines logged so far ("GET /target"), the listening line left out.
    std::vector<std::string> requests();
    // Waits until at least count requests are logged; those logged by then.
    std::vector<std::string> waitForRequests(std::size_t count,
                                             std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits until a logged request satisfies match; the line, or empty on timeout.
    std::string waitForRequest(const std::function<bool(const std::string&)>& match,
                               std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Sends SIGTERM and waits; the exit status (as from waitpid), or -1 if it had to be killed.
    int terminate(std::chrono::milliseconds grace = std::chrono::seconds(5));

private:
    void readOutput(int fd);

    int pid_ = -1;
    int port_ = 0;
    bool exited_ = false;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool closed_ = false;
};

// A plain GET (or POST) through libcurl, for checks on the demo server itself (status codes).
struct Reply {
    long status = 0;
    std::string body;
    std::string contentType;
};
Reply fetch(const std::string& url, const std::string& postBody = {}, bool post = false);

} // namespace talvo::test
