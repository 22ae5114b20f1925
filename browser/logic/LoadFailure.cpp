#include "browser/logic/LoadFailure.h"

#include <algorithm>
#include <cstdlib>

namespace talvo::browserlogic {

std::optional<FailureKind> classifyFailure(FailureDomain domain, int code)
{
    const int n = std::abs(code);
    switch (n) {
    case 3: // aborted: replaced by another load, stopped, or turned into a download
        return std::nullopt;
    case 102: // connection refused
        return FailureKind::Refused;
    case 105: // name not resolved
    case 137: // name resolution failed
        return FailureKind::HostUnknown;
    case 7:   // timed out
    case 118: // connection timed out
        return FailureKind::TimedOut;
    case 100: // connection closed
    case 101: // connection reset
    case 103: // connection aborted
    case 104: // connection failed
    case 324: // empty response
        return FailureKind::Reset;
    case 106: // internet disconnected
    case 109: // address unreachable
    case 21:  // network changed
        return FailureKind::Offline;
    case 130: // proxy connection failed
    case 111: // tunnel connection failed
        return FailureKind::ProxyFailed;
    case 115: // proxy auth unsupported
    case 127: // proxy auth requested
    case 407: return FailureKind::ProxyAuth;
    case 107: // SSL protocol error
    case 113: // version or cipher mismatch
    case 110: // client certificate needed
    case 117: // bad SSL client auth certificate
        return FailureKind::TlsFailed;
    default: break;
    }
    if (n >= 200 && n < 300)
        return FailureKind::Insecure; // the engine's certificate errors
    switch (domain) {
    case FailureDomain::None:
    case FailureDomain::HttpStatus: return std::nullopt; // the server answered; its page is its own business
    case FailureDomain::Certificate: return FailureKind::Insecure;
    case FailureDomain::Dns: return FailureKind::HostUnknown;
    case FailureDomain::Connection:
    case FailureDomain::Internal:
    case FailureDomain::Http:
    case FailureDomain::Ftp: break;
    }
    return FailureKind::Other;
}

FailureWords describeFailure(FailureKind kind, std::u16string_view host)
{
    const std::u16string h(host.empty() ? u"服务器" : host);
    const std::u16string later = u"网络恢复后将自动重试，也可以点击“重试”。";
    switch (kind) {
    case FailureKind::Refused: return {u"无法连接到 " + h + u"：应用服务暂时没有响应。", later};
    case FailureKind::HostUnknown: return {u"找不到服务器 " + h + u"。", u"请检查网络或代理设置。" + later};
    case FailureKind::TimedOut: return {u"连接 " + h + u" 超时。", later};
    case FailureKind::Reset: return {u"与 " + h + u" 的连接中断了。", later};
    case FailureKind::Offline: return {u"这台电脑目前没有连接网络。", later};
    case FailureKind::Insecure:
        return {u"与 " + h + u" 的连接不安全：服务器的证书不受信任，已拒绝打开。", u"请联系系统管理员。"};
    case FailureKind::TlsFailed: return {u"无法与 " + h + u" 建立安全连接。", later};
    case FailureKind::ProxyFailed: return {u"无法通过代理服务器连接到 " + h + u"。", u"请检查代理设置。" + later};
    case FailureKind::ProxyAuth:
        return {u"代理服务器要求登录，无法连接到 " + h + u"。",
                u"请在代理地址中提供用户名和密码（http://用户名:密码@主机:端口）。"};
    case FailureKind::Other: break;
    }
    return {u"无法打开 " + h + u" 上的页面。", later};
}

bool retryMayHelp(FailureKind kind) { return kind != FailureKind::Insecure; }

RetrySchedule::RetrySchedule(std::chrono::milliseconds first, std::chrono::milliseconds longest,
                             std::chrono::milliseconds minimumGap)
    : first_(first), longest_(std::max(first, longest)), minimumGap_(minimumGap), next_(first)
{
}

std::chrono::milliseconds RetrySchedule::failed(Clock::time_point now)
{
    lastAttempt_ = now;
    const std::chrono::milliseconds wait = std::max(next_, minimumGap_);
    next_ = std::min(next_ * 2, longest_);
    return wait;
}

std::chrono::milliseconds RetrySchedule::networkBack(Clock::time_point now) const
{
    if (!lastAttempt_)
        return std::chrono::milliseconds(0);
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now - *lastAttempt_);
    return since >= minimumGap_ ? std::chrono::milliseconds(0) : minimumGap_ - since;
}

void RetrySchedule::succeeded()
{
    next_ = first_;
    lastAttempt_.reset();
}

} // namespace talvo::browserlogic
