#pragma once

#include <QElapsedTimer>
#include <QWebEnginePage>

namespace talvo::browser {

// A page of the web application, in the main window or a popup, on the lasting profile.
//
// The browser shows no dialogs of its own: no script-error boxes, no credential prompts
// (an authentication request is answered at once with no credentials, so the server's own
// 401 page shows; a proxy gets the credentials of its address in http_proxy / https_proxy).
// The page's own alert, confirm and prompt are the application's user interface and appear
// as our message boxes; a page's "leave this page?" question is
// answered "leave" so navigating and closing are never stopped.
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    enum class Role { Main, Popup };
    BrowserPage(Role role, QObject* parent);

    Role role() const { return role_; }
    // "main" or "popup", for the diagnostics.
    QString roleName() const;

protected:
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    // The system's file chooser, starting where the user last chose files (else HOME), with
    // the types the input accepts offered first.
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    QWidget* dialogParent() const;

    Role role_;
    QElapsedTimer proxyAnswered_;
    QString proxyAnsweredHost_;
};

} // namespace talvo::browser
