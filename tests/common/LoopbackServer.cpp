#include "LoopbackServer.h"

namespace talvo::test {

using namespace std::chrono_literals;

bool LoopbackServer::Connection::pause(std::chrono::milliseconds duration)
{
    std::unique_lock lock(server_->mutex_);
    return !server_->changed_.wait_for(lock, duration, [this] { return server_->stopping_; });
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)), listener_(LoopbackSocket::listen())
{
    port_ = listener_.port();
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    acceptor_.join();
    for (std::thread& worker : workers_)
        worker.join();
}

std::u16string LoopbackServer::host() const
{
    const std::string text = "127.0.0.1:" + std::to_string(port_);
    return std::u16string(text.begin(), text.end());
}

std::u16string LoopbackServer::url(const std::string& target) const
{
    const std::string text = "http://127.0.0.1:" + std::to_string(port_) + target;
    return std::u16string(text.begin(), text.end());
}

void LoopbackServer::acceptLoop()
{
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
        }
        LoopbackSocket socket = listener_.accept(50ms);
        if (!socket.valid())
            continue;
        // Only this thread adds to the lists; the destructor reads them after joining it.
        Connection& connection = connections_.emplace_back();
        connection.server_ = this;
        connection.socket_ = std::move(socket);
        workers_.emplace_back([this, &connection] { serve(connection); });
    }
}

void LoopbackServer::serve(Connection& connection)
{
    std::string head;
    char buffer[4096];
    const auto giveUp = std::chrono::steady_clock::now() + 3s;
    while (head.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
        const long got = connection.socket_.receive(buffer, sizeof buffer, 100ms);
        if (got == 0)
            return;
        if (got > 0)
            head.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string requestLine = head.substr(0, head.find("\r\n"));
    const std::size_t space = requestLine.find(' ');
    connection.method_ = requestLine.substr(0, space);
    if (space != std::string::npos)
        connection.target_ = requestLine.substr(space + 1, requestLine.rfind(' ') - space - 1);
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(connection.method_ + " " + connection.target_);
        heads_.push_back(head.substr(0, head.find("\r\n\r\n") + 2));
    }
    changed_.notify_all();
    handler_(connection);
    connection.socket_.close();
}

std::vector<std::string> LoopbackServer::requests()
{
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> LoopbackServer::heads()
{
    std::lock_guard lock(mutex_);
    return heads_;
}

std::vector<std::string> LoopbackServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
    return lines_;
}

std::string LoopbackServer::waitForRequest(const std::function<bool(const std::string&)>& match,
                                           std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    std::string found;
    changed_.wait_for(lock, timeout, [&] {
        for (const std::string& line : lines_) {
            if (match(line)) {
                found = line;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::string httpResponse(int status, std::string_view body, std::string_view headers, bool head)
{
    std::string reply = "HTTP/1.1 " + std::to_string(status) + (status < 400 ? " OK" : " Error") + "\r\n";
    reply += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n";
    reply += headers;
    reply += "\r\n";
    if (!head)
        reply += body;
    return reply;
}

LoopbackServer::Handler answering(int status, std::string body, std::string headers)
{
    return [status, body = std::move(body), headers = std::move(headers)](LoopbackServer::Connection& connection) {
        connection.send(httpResponse(status, body, headers, connection.method() == "HEAD"));
    };
}

LoopbackServer::Handler writing(std::string bytes)
{
    return [bytes = std::move(bytes)](LoopbackServer::Connection& connection) { connection.send(bytes); };
}

} // namespace talvo::test
