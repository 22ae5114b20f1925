#pragma once

#include <QWebEnginePage>

namespace talvo {

// The browser page of the main window. It shows no dialogs of its own: the web
// application talks to us through its title, never through script dialogs.
class SilentPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
};

} // namespace talvo
