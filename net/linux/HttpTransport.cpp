#include "net/HttpTransport.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include <curl/curl.h>

// libcurl's multi interface driven by our own phase clock, so each phase keeps its own
// limit, which libcurl's single connect and total timeouts cannot express.
namespace talvo::net {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void initCurlOnce()
{
    // Process-wide set-up before the first handle; never undone, the process owns it.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// The easy handle must leave the multi handle before either is cleaned up.
class Attachment {
public:
    Attachment(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy)
    {
        attached_ = curl_multi_add_handle(multi, easy) == CURLM_OK;
    }
    ~Attachment()
    {
        if (attached_)
            curl_multi_remove_handle(multi_, easy_);
    }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;
    bool attached() const { return attached_; }

private:
    CURLM* multi_;
    CURL* easy_;
    bool attached_ = false;
};

struct Receiver {
    std::string body;
    std::size_t maxBody = 0;
    Clock::time_point lastActivity{};
    bool headersComplete = false; // the blank line after the last response's headers came
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* receiver = static_cast<Receiver*>(user);
    const std::string_view line(data, size * count);
    receiver->lastActivity = Clock::now();
    // Each response (an interim one, a redirect, the final one) starts with its status line.
    if (line.substr(0, 5) == "HTTP/")
        receiver->headersComplete = false;
    else if (line == "\r\n" || line == "\n")
        receiver->headersComplete = true;
    return size * count;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* receiver = static_cast<Receiver*>(user);
    const std::size_t length = size * count;
    receiver->lastActivity = Clock::now();
    if (length > receiver->maxBody - receiver->body.size())
        return 0; // a short count makes the transfer fail instead of growing further
    receiver->body.append(data, length);
    return length;
}

curl_off_t infoTime(CURL* easy, CURLINFO what)
{
    curl_off_t value = 0;
    if (curl_easy_getinfo(easy, what, &value) != CURLE_OK)
        return 0;
    return value;
}

// Tracks which phase the transfer is in and when that phase has to be over. Phases
// only move forward; the times of the first resolve and connect are libcurl's own.
class PhaseClock {
public:
    PhaseClock(const HttpLimits& limits, Clock::time_point start)
        : limits_(limits), start_(start), totalDeadline_(start + limits.total())
    {
    }

    Clock::time_point deadline(CURL* easy, const Receiver& receiver, Clock::time_point now)
    {
        if (phase_ == Phase::Resolve) {
            const curl_off_t lookup = infoTime(easy, CURLINFO_NAMELOOKUP_TIME_T);
            const curl_off_t connect = infoTime(easy, CURLINFO_CONNECT_TIME_T);
            if (lookup > 0 || connect > 0) {
                phaseStart_ = start_ + std::chrono::microseconds(lookup);
                phase_ = Phase::Connect;
            }
        }
        if (phase_ == Phase::Connect) {
            curl_off_t connected = infoTime(easy, CURLINFO_CONNECT_TIME_T);
            if (connected > 0 && needsTls_) {
                connected = infoTime(easy, CURLINFO_APPCONNECT_TIME_T);
            }
            if (connected > 0) {
                phaseStart_ = start_ + std::chrono::microseconds(connected);
                phase_ = Phase::Send;
            }
        }
        if (phase_ == Phase::Send) {
            long requestSize = 0;
            curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestSize);
            if (requestSize > 0) {
                phaseStart_ = now;
                phase_ = Phase::Receive;
            }
        }

        Clock::time_point due;
        switch (phase_) {
        case Phase::Resolve: due = start_ + limits_.resolve; break;
        case Phase::Connect: due = phaseStart_ + limits_.connect; break;
        case Phase::Send: due = phaseStart_ + limits_.send; break;
        case Phase::Receive: due = std::max(phaseStart_, receiver.lastActivity) + limits_.receive; break;
        }
        return std::min(due, totalDeadline_);
    }

    void setNeedsTls(bool tls) { needsTls_ = tls; }

private:
    enum class Phase { Resolve, Connect, Send, Receive };
    const HttpLimits& limits_;
    Clock::time_point start_;
    Clock::time_point totalDeadline_;
    Clock::time_point phaseStart_{};
    Phase phase_ = Phase::Resolve;
    bool needsTls_ = false;
};

bool configure(CURL* easy, const std::string& method, const std::string& url, const HttpLimits& limits,
               Receiver& receiver)
{
    const auto ms = [](milliseconds value) { return static_cast<long>(std::max<long long>(value.count(), 1)); };
    bool ok = true;
    const auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };

    set(curl_easy_setopt(easy, CURLOPT_URL, url.c_str()));
    // Only the web: a "file:" or other address must never reach anything else.
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L));
    set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    // An abandoned slow lookup must not make cleanup wait for the resolver thread.
    set(curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L));
    // libcurl's own limits as a backstop to the phase clock: its connect limit covers the
    // name lookup too.
    set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, ms(limits.resolve + limits.connect)));
    set(curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, ms(limits.total())));
    set(curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes)));
    set(curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent));
    set(curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader));
    set(curl_easy_setopt(easy, CURLOPT_HEADERDATA, &receiver));
    set(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody));
    set(curl_easy_setopt(easy, CURLOPT_WRITEDATA, &receiver));

    if (method == "GET") {
        set(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L));
    } else if (method == "HEAD") {
        set(curl_easy_setopt(easy, CURLOPT_NOBODY, 1L));
    } else if (method == "POST") {
        // An empty body, announced as such.
        set(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, ""));
        set(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, 0L));
    } else {
        set(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str()));
    }
    return ok;
}

} // namespace

Exchange performRequest(const std::string& method, const std::string& url, const HttpLimits& limits)
{
    Exchange exchange;
    initCurlOnce();
    EasyHandle easy(curl_easy_init());
    MultiHandle multi(curl_multi_init());
    if (!easy || !multi)
        return exchange;

    Receiver receiver;
    receiver.maxBody = limits.maxBodyBytes;
    if (!configure(easy.get(), method, url, limits, receiver))
        return exchange;

    const Clock::time_point start = Clock::now();
    PhaseClock phases(limits, start);
    phases.setNeedsTls(url.size() >= 8 && std::equal(url.begin(), url.begin() + 8, "https://", [](char a, char b) {
                           return (a | 0x20) == b;
                       }));

    Attachment attachment(multi.get(), easy.get());
    if (!attachment.attached())
        return exchange;

    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK)
            return exchange;
        if (running == 0)
            break;
        const Clock::time_point now = Clock::now();
        const Clock::time_point due = phases.deadline(easy.get(), receiver, now);
        if (now >= due)
            return exchange; // a phase ran over its limit
        const auto left = std::chrono::ceil<milliseconds>(due - now).count();
        const int wait = static_cast<int>(std::clamp<long long>(left, 1, 1000));
        if (curl_multi_poll(multi.get(), nullptr, 0, wait, nullptr) != CURLM_OK)
            return exchange;
    }

    CURLcode result = CURLE_RECV_ERROR;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get())
            result = message->data.result;
    }
    if (result == CURLE_OK && receiver.headersComplete) {
        exchange.outcome = Outcome::Complete;
        exchange.body = std::move(receiver.body);
    } else if (result == CURLE_OK || result == CURLE_PARTIAL_FILE) {
        // libcurl accepts a connection closed inside the headers as a finished response.
        exchange.outcome = Outcome::Incomplete;
    }
    return exchange;
}

} // namespace talvo::net
