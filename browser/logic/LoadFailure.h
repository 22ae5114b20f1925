#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace talvo::browserlogic {

// Where the engine says a failed load went wrong (its error domains, engine-neutral).
enum class FailureDomain { None, Internal, Connection, Certificate, Http, Ftp, Dns, HttpStatus };

// What a user is told about a failed main-frame load.
enum class FailureKind {
    Refused,     // nothing listens at the address: the application is down
    HostUnknown, // the name does not resolve
    TimedOut,
    Reset,       // the connection broke off or closed without an answer
    Offline,     // this computer has no network
    Insecure,    // the certificate is not trusted: refused, never accepted
    TlsFailed,   // the secure connection could not be set up
    ProxyFailed, // the proxy could not be reached or refused the request
    ProxyAuth,   // the proxy wants credentials we do not have (or rejects ours)
    Other,
};

// The kind of a failed main-frame load, or nothing when there is nothing to tell the user:
// a load aborted because another replaced it or the user stopped it, and answers of the
// server itself (an HTTP error page is the server's own word). code is the engine's network
// error number; its sign does not matter.
std::optional<FailureKind> classifyFailure(FailureDomain domain, int code);

// The words of our error page. host: the address's host, named where it helps.
struct FailureWords {
    std::u16string headline; // what failed, as a user would say it
    std::u16string advice;   // what happens now / what to do
};
FailureWords describeFailure(FailureKind kind, std::u16string_view host);

// True when trying again later may help (it never does for a refused certificate).
bool retryMayHelp(FailureKind kind);

// When to try a failed load again by itself: first after 15 s, then doubling up to 2 min,
// and never sooner than minimumGap after the previous attempt, even when the network
// reports itself back (so the page does not flicker faster than a user can read it).
class RetrySchedule {
public:
    using Clock = std::chrono::steady_clock;
    explicit RetrySchedule(std::chrono::milliseconds first = std::chrono::seconds(15),
                           std::chrono::milliseconds longest = std::chrono::minutes(2),
                           std::chrono::milliseconds minimumGap = std::chrono::seconds(3));

    // An attempt failed at now: the wait before the next one.
    std::chrono::milliseconds failed(Clock::time_point now);
    // The network came back at now: the wait before trying (zero: at once).
    std::chrono::milliseconds networkBack(Clock::time_point now) const;
    // A load succeeded: the next failure starts the schedule over.
    void succeeded();

private:
    std::chrono::milliseconds first_, longest_, minimumGap_;
    std::chrono::milliseconds next_;
    std::optional<Clock::time_point> lastAttempt_;
};

} // namespace talvo::browserlogic
