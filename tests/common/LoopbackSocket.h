#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

// The little of TCP on 127.0.0.1 that the test servers need, on the platform's own
// sockets (tests/net/linux, tests/net/windows).
namespace talvo::test {

class LoopbackSocket {
public:
    LoopbackSocket() = default;
    ~LoopbackSocket();
    LoopbackSocket(LoopbackSocket&& other) noexcept;
    LoopbackSocket& operator=(LoopbackSocket&& other) noexcept;
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    // Listening on a free loopback port; invalid if the system refused.
    static LoopbackSocket listen();

    bool valid() const;
    int port() const { return port_; }

    // The next connection, or an invalid socket when none came within timeout.
    LoopbackSocket accept(std::chrono::milliseconds timeout);
    // Bytes read into buffer: > 0 read, 0 the peer closed, -1 error or nothing within timeout.
    long receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout);
    // False when the peer is gone.
    bool sendAll(std::string_view data);
    // Closes with a reset (RST) instead of an orderly end.
    void reset();
    void close();

private:
    static constexpr std::uintptr_t kNone = ~std::uintptr_t(0);
    std::uintptr_t handle_ = kNone;
    int port_ = 0;
};

// A loopback port nobody listens on (bound once, then released).
int unusedPort();

} // namespace talvo::test
