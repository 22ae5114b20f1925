#include "browser/RequestWait.h"

#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

namespace talvo::browser {

namespace {

// Sees the page's requests on the user-interface thread, just before they leave; goes
// with the page, or by itself once it has answered.
class MainFrameSpy : public QWebEngineUrlRequestInterceptor {
public:
    MainFrameSpy(QWebEnginePage* page, QObject* context, std::function<void(bool sent)> then)
        : QWebEngineUrlRequestInterceptor(page), page_(page), context_(context), then_(std::move(then))
    {
    }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (answered_ || info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        // One more turn of the loop, so the engine passes the request on first.
        QTimer::singleShot(0, this, [this] { answer(true); });
    }

    void answer(bool sent)
    {
        if (answered_)
            return;
        answered_ = true;
        if (page_)
            page_->setUrlRequestInterceptor(nullptr);
        deleteLater();
        if (context_)
            then_(sent);
    }

private:
    QPointer<QWebEnginePage> page_;
    QPointer<QObject> context_;
    std::function<void(bool)> then_;
    bool answered_ = false;
};

} // namespace

void whenPageRequestSent(QWebEnginePage* page, int timeoutMs, QObject* context, std::function<void(bool sent)> then)
{
    if (!page) {
        QTimer::singleShot(0, context, [then = std::move(then)] { then(false); });
        return;
    }
    auto* spy = new MainFrameSpy(page, context, std::move(then));
    page->setUrlRequestInterceptor(spy);
    QTimer::singleShot(timeoutMs, spy, [spy] { spy->answer(false); });
}

} // namespace talvo::browser
