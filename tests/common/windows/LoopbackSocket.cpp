#include "../LoopbackSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace talvo::test {

namespace {

SOCKET sock(std::uintptr_t handle) { return static_cast<SOCKET>(handle); }

void startWinsockOnce()
{
    // Process-wide and never undone: the process owns it.
    static const int started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    (void)started;
}

bool waitFor(SOCKET s, std::chrono::milliseconds timeout)
{
    WSAPOLLFD entry{};
    entry.fd = s;
    entry.events = POLLRDNORM;
    return WSAPoll(&entry, 1, static_cast<INT>(timeout.count())) > 0;
}

} // namespace

LoopbackSocket LoopbackSocket::listen()
{
    startWinsockOnce();
    LoopbackSocket socket;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return socket;
    socket.handle_ = static_cast<std::uintptr_t>(s);
    // Nobody else may take the port over while the test holds it.
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 16) != 0
        || ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        socket.close();
        return socket;
    }
    socket.port_ = ntohs(address.sin_port);
    return socket;
}

LoopbackSocket LoopbackSocket::accept(std::chrono::milliseconds timeout)
{
    LoopbackSocket connection;
    if (!valid() || !waitFor(sock(handle_), timeout))
        return connection;
    const SOCKET s = ::accept(sock(handle_), nullptr, nullptr);
    if (s != INVALID_SOCKET)
        connection.handle_ = static_cast<std::uintptr_t>(s);
    return connection;
}

long LoopbackSocket::receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout)
{
    if (!valid() || !waitFor(sock(handle_), timeout))
        return -1;
    const int got = ::recv(sock(handle_), buffer, static_cast<int>(size), 0);
    return got < 0 ? -1 : got;
}

bool LoopbackSocket::sendAll(std::string_view data)
{
    while (!data.empty()) {
        const int sent = ::send(sock(handle_), data.data(), static_cast<int>(data.size()), 0);
        if (sent <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void LoopbackSocket::reset()
{
    if (!valid())
        return;
    const linger abort{1, 0};
    ::setsockopt(sock(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    close();
}

void LoopbackSocket::close()
{
    if (valid())
        ::closesocket(sock(handle_));
    handle_ = kNone;
}

} // namespace talvo::test
