#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "LoopbackSocket.h"

namespace talvo::test {

// An HTTP server on a free loopback port, answering each connection's one request with
// whatever the test's handler writes, well-formed or not; it logs the request lines.
// Runs in the test process on both platforms, so the same tests drive every backend.
class LoopbackServer {
public:
    class Connection {
    public:
        const std::string& method() const { return method_; }
        const std::string& target() const { return target_; }
        int serverPort() const { return server_->port(); }
        // False once the client is gone.
        bool send(std::string_view bytes) { return socket_.sendAll(bytes); }
        // Waits; false when the server is stopping (the handler should return then).
        bool pause(std::chrono::milliseconds duration);
        // Ends the connection with a reset instead of an orderly close.
        void reset() { socket_.reset(); }

    private:
        friend class LoopbackServer;
        LoopbackServer* server_ = nullptr;
        LoopbackSocket socket_;
        std::string method_, target_;
    };
    using Handler = std::function<void(Connection&)>;

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer(); // drops held connections and waits for every handler
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    std::u16string host() const; // "127.0.0.1:PORT"
    std::u16string url(const std::string& target) const;

    // Request lines so far ("GET /target"), in the order they came.
    std::vector<std::string> requests();
    // The whole heads of those requests, request line and header lines with their "\r\n".
    std::vector<std::string> heads();
    // Waits until at least count requests came; those that came by then.
    std::vector<std::string> waitForRequests(std::size_t count,
                                             std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits until a request line satisfies match; the line, or empty on timeout.
    std::string waitForRequest(const std::function<bool(const std::string&)>& match,
                               std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    void acceptLoop();
    void serve(Connection& connection);

    Handler handler_;
    LoopbackSocket listener_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<std::string> lines_;
    std::vector<std::string> heads_;
    std::list<Connection> connections_;
    std::list<std::thread> workers_;
    std::thread acceptor_;
};

// A whole response: status line, Content-Length, "Connection: close", the extra header
// lines (each ending in "\r\n"), then the body unless the request was HEAD.
std::string httpResponse(int status, std::string_view body, std::string_view headers = {}, bool head = false);
// A handler answering every request that way.
LoopbackServer::Handler answering(int status, std::string body, std::string headers = {});
// A handler writing the same bytes whatever was asked, then closing.
LoopbackServer::Handler writing(std::string bytes);

} // namespace talvo::test
