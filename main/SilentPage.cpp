#include "main/SilentPage.h"

#include <QCoreApplication>

namespace talvo {

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

} // namespace talvo
