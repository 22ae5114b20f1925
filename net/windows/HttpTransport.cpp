#include "net/HttpTransport.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "net/RedirectTarget.h"
#include "platform/Utf.h"

#include <windows.h>
#include <winhttp.h>

// WinHTTP in its blocking mode. Each blocking call gets its phase's limit, cut to what
// is left of the whole request; redirects are followed here, not by WinHTTP, so they
// share that budget and only ever lead to http or https. A watchdog closes the request
// handle when the whole budget is spent, which ends a blocking call at once on Windows.
namespace talvo::net {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kMaxRedirects = 10;

struct HandleCloser {
    void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The system's proxy settings: the proxy the user set in Internet Options, else
// WinHTTP's automatic choice (detection and configuration scripts, Windows 8.1 on),
// else WinHTTP's default configuration where that is missing.
Handle openSession()
{
    const std::wstring agent = wide(kUserAgent);
    HINTERNET session = nullptr;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    if (WinHttpGetIEProxyConfigForCurrentUser(&user)) {
        if (user.lpszProxy && *user.lpszProxy)
            session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, user.lpszProxy,
                                  user.lpszProxyBypass ? user.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
        for (LPWSTR text : {user.lpszAutoConfigUrl, user.lpszProxy, user.lpszProxyBypass})
            if (text)
                GlobalFree(text);
    }
    if (!session)
        session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session)
        session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    return Handle(session);
}

struct Target {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object; // path and query, no fragment
};

std::optional<Target> crack(const std::string& url)
{
    const std::wstring text = wide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    if (!WinHttpCrackUrl(text.c_str(), static_cast<DWORD>(text.size()), 0, &parts))
        return std::nullopt;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return std::nullopt;
    if (!parts.lpszHostName || parts.dwHostNameLength == 0)
        return std::nullopt;
    Target target;
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target.port = parts.nPort;
    if (parts.lpszUrlPath)
        target.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo)
        target.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    target.object = target.object.substr(0, target.object.find(L'#'));
    if (target.object.empty() || target.object.front() != L'/')
        target.object.insert(0, L"/");
    return target;
}

std::optional<std::wstring> header(HINTERNET request, DWORD which)
{
    DWORD size = 0;
    WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    value.resize(size / sizeof(wchar_t));
    return value;
}

std::optional<unsigned long long> number(const std::optional<std::wstring>& text)
{
    if (!text || text->empty() || text->size() > 19)
        return std::nullopt;
    unsigned long long value = 0;
    for (wchar_t c : *text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    return value;
}

// Closes the current request handle when the whole request's time is up; the blocking
// call in progress then fails at once.
class Watchdog {
public:
    explicit Watchdog(Clock::time_point deadline) : deadline_(deadline), thread_([this] { watch(); }) { }
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // The handle the watchdog may close; the caller closes it through release().
    void watch(Handle request)
    {
        std::lock_guard lock(mutex_);
        request_ = std::move(request);
    }
    HINTERNET current()
    {
        std::lock_guard lock(mutex_);
        return request_.get();
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        request_.reset();
    }
    bool fired()
    {
        std::lock_guard lock(mutex_);
        return fired_;
    }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_until(lock, deadline_, [this] { return done_; })) {
            fired_ = true;
            request_.reset();
        }
    }

    Clock::time_point deadline_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    bool fired_ = false;
    Handle request_;
    std::thread thread_;
};

int limitMs(milliseconds phase, Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(std::min(phase, left).count(), 1, INT_MAX));
}

bool isRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Reads the body of a response whose headers have come.
Exchange readBody(HINTERNET request, const HttpLimits& limits, Clock::time_point deadline, bool head)
{
    Exchange exchange;
    const std::optional<unsigned long long> announced = number(header(request, WINHTTP_QUERY_CONTENT_LENGTH));
    if (announced && *announced > limits.maxBodyBytes && !head)
        return exchange;
    std::string body;
    for (;;) {
        if (Clock::now() >= deadline)
            return exchange;
        const DWORD receive = static_cast<DWORD>(limitMs(limits.receive, deadline));
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, const_cast<DWORD*>(&receive), sizeof receive);
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            // A silent server or the whole budget spent is a failure; WinHTTP's own
            // errors for a body cut short leave it incomplete. Wine reports a reset as
            // the socket's error, a failure as with libcurl; Windows may call it a
            // connection error, which then reads as cut short.
            const DWORD error = GetLastError();
            if (error == ERROR_WINHTTP_CONNECTION_ERROR || error == ERROR_WINHTTP_INVALID_SERVER_RESPONSE)
                exchange.outcome = Outcome::Incomplete;
            return exchange;
        }
        if (available == 0)
            break;
        if (available > limits.maxBodyBytes - body.size())
            return exchange;
        const std::size_t at = body.size();
        body.resize(at + available);
        DWORD read = 0;
        if (!WinHttpReadData(request, body.data() + at, available, &read))
            return exchange;
        body.resize(at + read);
        if (read == 0)
            break;
    }
    if (announced && !head && body.size() < *announced) {
        exchange.outcome = Outcome::Incomplete;
        return exchange;
    }
    exchange.outcome = Outcome::Complete;
    exchange.body = std::move(body);
    return exchange;
}

} // namespace

Exchange performRequest(const std::string& method, const std::string& url, const HttpLimits& limits)
{
    const Clock::time_point deadline = Clock::now() + limits.total();
    Handle session = openSession();
    if (!session)
        return {};
    Watchdog watchdog(deadline);

    std::string current = url;
    std::string verb = method;
    for (int redirects = 0;; ++redirects) {
        const std::optional<Target> target = crack(current);
        if (!target)
            return {};
        Handle connection(WinHttpConnect(session.get(), target->host.c_str(), target->port, 0));
        if (!connection)
            return {};
        const std::wstring wideVerb = wide(verb);
        // The address is already escaped our way; WinHTTP must send it as it is.
        const DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY
            | (target->secure ? WINHTTP_FLAG_SECURE : 0);
        watchdog.watch(Handle(WinHttpOpenRequest(connection.get(), wideVerb.c_str(), target->object.c_str(), nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags)));
        HINTERNET request = watchdog.current();
        if (!request)
            return {};
        DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
        if (!WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects))
            return {};
        if (!WinHttpSetTimeouts(request, limitMs(limits.resolve, deadline), limitMs(limits.connect, deadline),
                                limitMs(limits.send, deadline), limitMs(limits.receive, deadline)))
            return {};
        // The wait for the response headers has a limit of its own, which WinHTTP takes
        // when it sends the request.
        const DWORD headersWithin = static_cast<DWORD>(limitMs(limits.receive, deadline));
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, const_cast<DWORD*>(&headersWithin),
                         sizeof headersWithin);
        if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            return {};
        const DWORD receive = static_cast<DWORD>(limitMs(limits.receive, deadline));
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, const_cast<DWORD*>(&receive), sizeof receive);
        if (!WinHttpReceiveResponse(request, nullptr))
            return {};
        if (watchdog.fired())
            return {};

        const std::optional<unsigned long long> status = number(header(request, WINHTTP_QUERY_STATUS_CODE));
        const std::optional<std::wstring> location = header(request, WINHTTP_QUERY_LOCATION);
        if (status && isRedirect(static_cast<DWORD>(*status)) && location && !location->empty()) {
            if (redirects == kMaxRedirects)
                return {};
            std::u16string text(location->begin(), location->end());
            const std::optional<std::string> next = redirectTarget(current, platform::toUtf8(text));
            if (!next)
                return {};
            // As browsers do: 303 turns any method but HEAD into GET, 301 and 302 turn POST into GET.
            if ((*status == 303 && verb != "HEAD") || (*status != 307 && *status != 308 && verb == "POST"))
                verb = "GET";
            current = *next;
            watchdog.release();
            continue;
        }
        Exchange exchange = readBody(request, limits, deadline, verb == "HEAD");
        if (watchdog.fired())
            return {};
        return exchange;
    }
}

} // namespace talvo::net
