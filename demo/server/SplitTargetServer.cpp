// Older releases of the HTTP library (0.11 of Debian 12) refuse a request whose target holds
// a second "?". Their server's connection loop is run here over a stream that hides it.
#include "demo/server/Server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talvo::demo {

namespace {

using std::chrono::milliseconds;

// Every "?" after the first one of a request line is hidden behind kHiddenQuestion (a
// control byte no well-formed target carries); receivedTarget() shows it again.
constexpr char kHiddenQuestion = '\x01';

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        const int n = ::poll(&entry, 1, timeoutMs);
        if (n >= 0 || errno != EINTR)
            return n > 0;
    }
}

class RequestLineStream : public httplib::Stream {
public:
    RequestLineStream(int fd, milliseconds readTimeout, milliseconds writeTimeout)
        : fd_(fd), readTimeoutMs_(static_cast<int>(readTimeout.count())),
          writeTimeoutMs_(static_cast<int>(writeTimeout.count()))
    {
    }

    void beginRequest()
    {
        inRequestLine_ = true;
        seenQuestion_ = false;
    }
    bool hasBuffered() const { return begin_ < end_; }

    bool is_readable() const override { return hasBuffered() || waitFor(fd_, POLLIN, readTimeoutMs_); }
    bool is_writable() const override { return waitFor(fd_, POLLOUT, writeTimeoutMs_); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (!hasBuffered()) {
            if (!waitFor(fd_, POLLIN, readTimeoutMs_))
                return -1;
            const ssize_t n = ::recv(fd_, buffer_, sizeof buffer_, 0);
            if (n <= 0)
                return n;
            begin_ = 0;
            end_ = static_cast<std::size_t>(n);
        }
        const std::size_t count = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_ + begin_, count);
        begin_ += count;
        for (std::size_t i = 0; i < count && inRequestLine_; ++i) {
            if (ptr[i] == '\n')
                inRequestLine_ = false;
            else if (ptr[i] == '?' && std::exchange(seenQuestion_, true))
                ptr[i] = kHiddenQuestion;
        }
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (!waitFor(fd_, POLLOUT, writeTimeoutMs_))
            return -1;
        return ::send(fd_, ptr, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(false, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(true, ip, port); }
    socket_t socket() const override { return fd_; }

private:
    void address(bool local, std::string& ip, int& port) const
    {
        sockaddr_storage storage{};
        socklen_t length = sizeof storage;
        auto* raw = reinterpret_cast<sockaddr*>(&storage);
        if ((local ? ::getsockname(fd_, raw, &length) : ::getpeername(fd_, raw, &length)) != 0)
            return;
        char host[NI_MAXHOST];
        if (::getnameinfo(raw, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
            return;
        ip = host;
        port = ntohs(storage.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(raw)->sin6_port
                                                   : reinterpret_cast<sockaddr_in*>(raw)->sin_port);
    }

    int fd_;
    int readTimeoutMs_;
    int writeTimeoutMs_;
    char buffer_[4096];
    std::size_t begin_ = 0, end_ = 0;
    bool inRequestLine_ = true;
    bool seenQuestion_ = false;
};

// The library's server with its connection loop run over RequestLineStream.
class TolerantServer : public httplib::Server {
private:
    bool process_and_close_socket(socket_t fd) override
    {
        RequestLineStream stream(fd, std::chrono::seconds(read_timeout_sec_), std::chrono::seconds(write_timeout_sec_));
        for (std::size_t count = keep_alive_max_count_; count > 0 && nextRequestArrives(stream, fd); --count) {
            stream.beginRequest();
            bool connectionClosed = false;
            const bool ok = process_request(stream, count == 1, connectionClosed, [](httplib::Request&) {});
            if (!ok || connectionClosed)
                break;
        }
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        return true;
    }

    // An idle keep-alive connection waits in short steps so stopping is never held up.
    bool nextRequestArrives(const RequestLineStream& stream, int fd) const
    {
        if (stream.hasBuffered())
            return true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
        while (svr_sock_ != INVALID_SOCKET && std::chrono::steady_clock::now() < deadline)
            if (waitFor(fd, POLLIN, 100))
                return true;
        return false;
    }
};

} // namespace

std::unique_ptr<httplib::Server> makeServer() { return std::make_unique<TolerantServer>(); }

std::string receivedTarget(const httplib::Request& request)
{
    std::string target = request.target;
    std::replace(target.begin(), target.end(), kHiddenQuestion, '?');
    return target;
}

} // namespace talvo::demo
