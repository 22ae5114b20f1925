#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A one-shot HTTP server on 127.0.0.1 that records request lines verbatim. Hand-made
// because the Debian HTTP library refuses a target with a second "?", which is exactly
// what our request helper sends.
class LoopbackServer {
public:
    explicit LoopbackServer(std::string body, std::string contentType = "text/plain")
        : body_(std::move(body)), contentType_(std::move(contentType))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 8);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer()
    {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }

    int port() const { return port_; }
    std::vector<std::string> requestLines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    void serve()
    {
        for (;;) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0)
                return;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(got));
            }
            {
                std::lock_guard lock(mutex_);
                lines_.push_back(request.substr(0, request.find("\r\n")));
            }
            const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: " + contentType_
                                         + "\r\nContent-Length: "
                                         + std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
            ::send(client, response.data(), response.size(), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    std::string body_;
    std::string contentType_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};
