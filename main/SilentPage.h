#pragma once

#include <QWebEnginePage>

#include <functional>

namespace talvo {

// The browser page of the main window. It shows no dialogs of its own: the web
// application talks to us through its title, never through script dialogs.
//
// The window has room for one page only, so what a page opens in a new window or tab
// (target="_blank", window.open) goes to the system browser instead of vanishing.
class SilentPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

    using PopupOpener = std::function<void(const QUrl& url)>;
    void setPopupOpener(PopupOpener opener) { popupOpener_ = std::move(opener); }

protected:
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    PopupOpener popupOpener_;
};

} // namespace talvo
