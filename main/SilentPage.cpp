#include "main/SilentPage.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace talvo {

namespace {

// Stands in for a new window just long enough to learn where it was going.
class PopupCatcher : public QWebEnginePage {
public:
    PopupCatcher(QWebEngineProfile* profile, QObject* parent, SilentPage::PopupOpener opener)
        : QWebEnginePage(profile, parent), opener_(std::move(opener))
    {
        // A popup that never navigates anywhere (about:blank filled by script) is dropped.
        QTimer::singleShot(10000, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        if (done_ || url.isEmpty() || url.scheme() == QLatin1String("about"))
            return false;
        done_ = true;
        if (opener_)
            opener_(url);
        deleteLater();
        return false;
    }

private:
    SilentPage::PopupOpener opener_;
    bool done_ = false;
};

} // namespace

void SilentPage::javaScriptAlert(const QUrl&, const QString&) {}

bool SilentPage::javaScriptConfirm(const QUrl&, const QString& msg)
{
    // WebEngine routes a page's "leave this page?" question through here too. Answering it
    // with "stay" would stop navigations and closing for good, so that one is answered
    // "leave"; a script's own confirm() gets the answer of a dismissed box.
    static const QString beforeUnload = QCoreApplication::translate(
        "QWebEnginePage", "Are you sure you want to leave this page? Changes that you made may not be saved.");
    return msg == beforeUnload;
}

bool SilentPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*)
{
    return false;
}

QWebEnginePage* SilentPage::createWindow(WebWindowType)
{
    return new PopupCatcher(profile(), this, popupOpener_);
}

} // namespace talvo
