#include "browser/PageRecovery.h"

#include <QAuthenticator>
#include <QNetworkInformation>
#include <QWebEngineCertificateError>
#include <QWebEngineLoadingInfo>

#include "browser/BrowserView.h"
#include "browser/FailurePanel.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

using browserlogic::FailureDomain;
using browserlogic::FailureKind;
using Clock = std::chrono::steady_clock;

// Long enough for the user to read that the page went away, short enough to feel automatic.
constexpr int kCrashReloadDelayMs = 1500;

FailureDomain domainOf(QWebEngineLoadingInfo::ErrorDomain domain)
{
    switch (domain) {
    case QWebEngineLoadingInfo::NoErrorDomain: return FailureDomain::None;
    case QWebEngineLoadingInfo::InternalErrorDomain: return FailureDomain::Internal;
    case QWebEngineLoadingInfo::ConnectionErrorDomain: return FailureDomain::Connection;
    case QWebEngineLoadingInfo::CertificateErrorDomain: return FailureDomain::Certificate;
    case QWebEngineLoadingInfo::HttpErrorDomain: return FailureDomain::Http;
    case QWebEngineLoadingInfo::FtpErrorDomain: return FailureDomain::Ftp;
    case QWebEngineLoadingInfo::DnsErrorDomain: return FailureDomain::Dns;
    case QWebEngineLoadingInfo::HttpStatusCodeDomain: return FailureDomain::HttpStatus;
    }
    return FailureDomain::Internal;
}

const char* terminationName(QWebEnginePage::RenderProcessTerminationStatus status)
{
    switch (status) {
    case QWebEnginePage::NormalTerminationStatus: return "normal";
    case QWebEnginePage::AbnormalTerminationStatus: return "abnormal";
    case QWebEnginePage::CrashedTerminationStatus: return "crashed";
    case QWebEnginePage::KilledTerminationStatus: return "killed";
    }
    return "unknown";
}

// One reachability source for every view; nothing where the platform has no backend.
QNetworkInformation* reachability()
{
    static const bool loaded = QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    return loaded ? QNetworkInformation::instance() : nullptr;
}

} // namespace

PageRecovery::PageRecovery(BrowserView* view) : QObject(view), view_(view), panel_(new FailurePanel(view))
{
    retryTimer_.setSingleShot(true);
    crashReloadTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, [this] { retry("scheduled"); });
    connect(&crashReloadTimer_, &QTimer::timeout, this, [this] {
        crashes_.reloadedByItself(Clock::now());
        qCInfo(lcWindows) << "renderer gone: reloading by itself";
        view_->page()->triggerAction(QWebEnginePage::Reload);
    });
    QWebEnginePage* page = view->page();
    connect(page, &QWebEnginePage::loadingChanged, this, &PageRecovery::onLoading);
    connect(page, &QWebEnginePage::certificateError, this, &PageRecovery::onCertificateError);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &PageRecovery::onRendererGone);
    connect(panel_, &FailurePanel::buttonClicked, this, &PageRecovery::onButton);
    // Runs after the page has answered: an empty answer means no credentials were known.
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl&, QAuthenticator* auth, const QString&) {
                if (auth->user().isEmpty())
                    proxyRefused_ = true;
            });
}

void PageRecovery::watchNetwork()
{
    // Only once a load has failed: the backend costs a few megabytes that a view whose
    // pages load never needs.
    if (watchingNetwork_)
        return;
    watchingNetwork_ = true;
    if (QNetworkInformation* info = reachability()) {
        connect(info, &QNetworkInformation::reachabilityChanged, this, [this](QNetworkInformation::Reachability r) {
            if (r == QNetworkInformation::Reachability::Online)
                onNetworkBack();
        });
    }
}

void PageRecovery::onLoading(const QWebEngineLoadingInfo& info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        failedDocument_ = false;
        proxyRefused_ = false;
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus: return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        if (info.isErrorPage()) {
            failedDocument_ = true; // the engine's stand-in for the failure below ours
            return;
        }
        if (proxyRefused_) {
            // What shows is the proxy's refusal, not the application.
            failedDocument_ = true;
            showFailure(FailureKind::ProxyAuth, info.url(), QStringLiteral("proxy authentication required (407)"));
            return;
        }
        failedDocument_ = false;
        schedule_.succeeded();
        retryTimer_.stop();
        if (shown_ != Shown::Nothing)
            qCInfo(lcWindows).noquote() << "page back: " + info.url().toString();
        shown_ = Shown::Nothing;
        panel_->hide();
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus: break;
    }
    const int code = info.errorCode();
    auto kind = browserlogic::classifyFailure(domainOf(info.errorDomain()), code);
    if (proxyRefused_ && kind)
        kind = FailureKind::ProxyAuth;
    if (!kind)
        return; // stopped, replaced, or the server's own answer: the page's business
    failedDocument_ = true;
    const QString reason = info.errorString().isEmpty() ? QStringLiteral("error %1").arg(code)
                                                        : QStringLiteral("%1 (%2)").arg(info.errorString()).arg(code);
    showFailure(*kind, info.url(), reason);
}

void PageRecovery::showFailure(browserlogic::FailureKind kind, const QUrl& url, const QString& reason)
{
    failedUrl_ = url;
    const auto words = browserlogic::describeFailure(kind, failedUrl_.host().toStdU16String());
    const QString detail = QString::fromUtf16(u"地址：") + failedUrl_.toDisplayString() + QLatin1Char('\n')
        + QString::fromUtf16(u"原因：") + reason;
    panel_->present(QString::fromStdU16String(words.headline), QString::fromStdU16String(words.advice), detail,
                    QString::fromUtf16(u"重试"));
    shown_ = Shown::LoadFailure;
    if (!browserlogic::retryMayHelp(kind)) {
        retryTimer_.stop();
        qCInfo(lcWindows).noquote() << "load failed: " + failedUrl_.toString() + " — " + reason + "; no retry";
        return;
    }
    watchNetwork();
    scheduleRetry(schedule_.failed(Clock::now()));
    qCInfo(lcWindows).noquote() << QStringLiteral("load failed: %1 — %2; retry in %3 s")
                                       .arg(failedUrl_.toString(), reason)
                                       .arg(retryTimer_.interval() / 1000.0);
}

void PageRecovery::onCertificateError(const QWebEngineCertificateError& error)
{
    // Refused, always: there is no prompt and no way to accept an untrusted certificate.
    QWebEngineCertificateError refused = error;
    refused.rejectCertificate();
    qCInfo(lcWindows).noquote() << "certificate refused: " + error.url().host() + " — " + error.description();
}

void PageRecovery::onRendererGone(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    qCInfo(lcWindows).noquote()
        << QStringLiteral("renderer gone: %1 (exit %2)").arg(QLatin1String(terminationName(status))).arg(exitCode);
    if (status == QWebEnginePage::NormalTerminationStatus)
        return;
    retryTimer_.stop();
    shown_ = Shown::Crash;
    if (crashes_.rendererGone(Clock::now()) == browserlogic::CrashRecovery::Response::ReloadSoon) {
        panel_->present(QString::fromUtf16(u"页面意外停止运行，正在重新加载…"),
                        QString::fromUtf16(u"您的工作窗口和状态栏不受影响。"), QString(), QString());
        crashReloadTimer_.start(kCrashReloadDelayMs);
        return;
    }
    crashReloadTimer_.stop();
    panel_->present(QString::fromUtf16(u"页面又一次意外停止运行。"),
                    QString::fromUtf16(u"为避免反复出错，已停止自动重新加载。请点击“重新加载”再试一次。"),
                    QStringLiteral("%1 (exit %2)").arg(QLatin1String(terminationName(status))).arg(exitCode),
                    QString::fromUtf16(u"重新加载"));
    qCInfo(lcWindows) << "renderer gone again soon: waiting for the user";
}

void PageRecovery::onButton()
{
    if (shown_ == Shown::Crash) {
        qCInfo(lcWindows) << "renderer gone: reload clicked";
        crashes_.reloadedByUser();
        view_->page()->triggerAction(QWebEnginePage::Reload);
        return;
    }
    retry("button");
}

void PageRecovery::onNetworkBack()
{
    if (shown_ != Shown::LoadFailure || !retryTimer_.isActive())
        return;
    const auto wait = schedule_.networkBack(Clock::now());
    qCInfo(lcWindows) << "network back: retry in" << wait.count() << "ms";
    scheduleRetry(wait);
}

void PageRecovery::scheduleRetry(std::chrono::milliseconds wait) { retryTimer_.start(static_cast<int>(wait.count())); }

void PageRecovery::retry(const char* why)
{
    retryTimer_.stop();
    if (failedUrl_.isEmpty())
        return;
    qCInfo(lcWindows).noquote() << QStringLiteral("retrying (%1): %2").arg(QLatin1String(why), failedUrl_.toString());
    view_->load(failedUrl_);
}

} // namespace talvo::browser
