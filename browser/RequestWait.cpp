#include "browser/RequestWait.h"

#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

namespace talvo::browser {

namespace {

// Sees the page's requests on the user-interface thread, just before they leave.
class MainFrameSpy : public QWebEngineUrlRequestInterceptor {
public:
    explicit MainFrameSpy(QEventLoop& loop) : loop_(loop) {}
    bool seen() const { return seen_; }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (seen_ || info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        seen_ = true;
        // One more turn of the loop, so the engine passes the request on first.
        QTimer::singleShot(0, &loop_, &QEventLoop::quit);
    }

private:
    QEventLoop& loop_;
    bool seen_ = false;
};

} // namespace

bool waitForPageRequest(QWebEnginePage* page, int timeoutMs)
{
    if (!page)
        return false;
    QEventLoop loop;
    MainFrameSpy spy(loop);
    page->setUrlRequestInterceptor(&spy);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    page->setUrlRequestInterceptor(nullptr);
    return spy.seen();
}

} // namespace talvo::browser
