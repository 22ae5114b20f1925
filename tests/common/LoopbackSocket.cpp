#include "LoopbackSocket.h"

// What does not depend on the platform's sockets; the rest is in linux/ and windows/.
namespace talvo::test {

LoopbackSocket::~LoopbackSocket() { close(); }

LoopbackSocket::LoopbackSocket(LoopbackSocket&& other) noexcept : handle_(other.handle_), port_(other.port_)
{
    other.handle_ = kNone;
}

LoopbackSocket& LoopbackSocket::operator=(LoopbackSocket&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = other.handle_;
        port_ = other.port_;
        other.handle_ = kNone;
    }
    return *this;
}

bool LoopbackSocket::valid() const { return handle_ != kNone; }

int unusedPort()
{
    // Listening, then closed: the port was free a moment ago and nothing holds it now.
    return LoopbackSocket::listen().port();
}

} // namespace talvo::test
