#include "../LoopbackSocket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talvo::test {

namespace {

int fd(std::uintptr_t handle) { return static_cast<int>(handle); }

bool waitFor(int descriptor, std::chrono::milliseconds timeout)
{
    pollfd entry{descriptor, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(timeout.count())) > 0;
}

} // namespace

LoopbackSocket LoopbackSocket::listen()
{
    LoopbackSocket socket;
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return socket;
    socket.handle_ = static_cast<std::uintptr_t>(descriptor);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(descriptor, 16) != 0
        || ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        socket.close();
        return socket;
    }
    socket.port_ = ntohs(address.sin_port);
    return socket;
}

LoopbackSocket LoopbackSocket::accept(std::chrono::milliseconds timeout)
{
    LoopbackSocket connection;
    if (!valid() || !waitFor(fd(handle_), timeout))
        return connection;
    const int descriptor = ::accept4(fd(handle_), nullptr, nullptr, SOCK_CLOEXEC);
    if (descriptor >= 0)
        connection.handle_ = static_cast<std::uintptr_t>(descriptor);
    return connection;
}

long LoopbackSocket::receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout)
{
    if (!valid() || !waitFor(fd(handle_), timeout))
        return -1;
    const ssize_t got = ::recv(fd(handle_), buffer, size, 0);
    return got < 0 ? -1 : static_cast<long>(got);
}

bool LoopbackSocket::sendAll(std::string_view data)
{
    while (!data.empty()) {
        const ssize_t sent = ::send(fd(handle_), data.data(), data.size(), MSG_NOSIGNAL);
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
    ::setsockopt(fd(handle_), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close();
}

void LoopbackSocket::close()
{
    if (valid())
        ::close(fd(handle_));
    handle_ = kNone;
}

} // namespace talvo::test
