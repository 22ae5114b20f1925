#pragma once

#include <QObject>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>

#include "browser/logic/CrashRecovery.h"
#include "browser/logic/LoadFailure.h"

class QWebEngineCertificateError;
class QWebEngineLoadingInfo;

namespace talvo::browser {

class BrowserView;
class FailurePanel;

// Keeps a view usable when what is under the page goes wrong: a failed main-frame load shows
// our error page and is tried again by itself (on a back-off, or when the network comes back);
// a certificate error is refused and said so; a render process that dies is reloaded once
// by itself, and a second death soon after waits for the user's "重新加载".
class PageRecovery : public QObject {
    Q_OBJECT
public:
    explicit PageRecovery(BrowserView* view);

    // True while the document in the view is the engine's stand-in for a failed load: its
    // title is not the application's word.
    bool showsFailedLoad() const { return failedDocument_; }

private:
    void onLoading(const QWebEngineLoadingInfo& info);
    void showFailure(browserlogic::FailureKind kind, const QUrl& url, const QString& reason);
    void onCertificateError(const QWebEngineCertificateError& error);
    void onRendererGone(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode);
    void onButton();
    void watchNetwork();
    void onNetworkBack();
    void retry(const char* why);
    void scheduleRetry(std::chrono::milliseconds wait);

    BrowserView* view_;
    FailurePanel* panel_;
    QTimer retryTimer_;
    QTimer crashReloadTimer_;
    browserlogic::RetrySchedule schedule_;
    browserlogic::CrashRecovery crashes_;
    bool watchingNetwork_ = false;
    QUrl failedUrl_;
    bool proxyRefused_ = false; // during this load, a proxy asked for credentials we lack
    bool failedDocument_ = false;
    enum class Shown { Nothing, LoadFailure, Crash } shown_ = Shown::Nothing;
};

} // namespace talvo::browser
