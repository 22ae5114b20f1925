#pragma once

#include <QElapsedTimer>
#include <QWebEnginePage>

#include "browser/logic/DialogFlood.h"

namespace talvo::browser {

class Profile;
class SiteGuard;

// A page of the web application, in the main window or a popup, on the lasting profile.
//
// The browser shows no dialogs of its own: no script-error boxes, no credential prompts
// (an authentication request is answered at once with no credentials, so the server's own
// 401 page shows; a proxy gets the credentials of its address in http_proxy / https_proxy).
// The page's own alert, confirm and prompt are the application's user interface and appear
// as our message boxes; a page's "leave this page?" question is
// answered "leave" so navigating and closing are never stopped. A page that shows dialog
// after dialog is offered a way to stop them for the rest of its load.
//
// Where the top frame may go is for the guard to say (see SiteGuard); without one, anywhere.
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    enum class Role { Main, Popup };
    // profile: ours, which outlives every page.
    BrowserPage(Role role, Profile& profile, QObject* parent);

    Role role() const { return role_; }
    Profile& browserProfile() const { return profile_; }
    // "main" or "popup", for the diagnostics.
    QString roleName() const;

    void setGuard(SiteGuard* guard) { guard_ = guard; }
    SiteGuard* guard() const { return guard_; }

    // True while one of the page's own dialogs (alert, confirm, prompt, file chooser) is
    // open: its window must not go before the answer is given.
    bool holdsDialog() const { return dialogsOpen_ > 0; }

signals:
    // The last open dialog of the page has been answered.
    void dialogsClosed();

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
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
    // Counts an open dialog from construction to destruction.
    class DialogScope;
    friend class DialogScope;
    // Whether a dialog may show at all, and whether its box offers to stop the rest.
    bool dialogsSuppressed();
    bool offerToSuppress();

    Role role_;
    Profile& profile_;
    SiteGuard* guard_ = nullptr;
    int dialogsOpen_ = 0;
    browserlogic::DialogFlood flood_;
    QElapsedTimer clock_;
    QElapsedTimer proxyAnswered_;
    QString proxyAnsweredHost_;
};

} // namespace talvo::browser
