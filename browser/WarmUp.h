#pragma once

#include <QPointer>

namespace talvo::browser {

class BrowserPage;
class Profile;

// The browser engine started ahead of the main window, on the user-interface thread
// while the server is asked. Nothing of it is visible.
class WarmUp {
public:
    explicit WarmUp(Profile& profile);
    // A page nobody took goes with it (before the profile does).
    ~WarmUp();
    WarmUp(const WarmUp&) = delete;
    WarmUp& operator=(const WarmUp&) = delete;

    Profile& profile() const { return profile_; }

    // The profile, and with it the engine, its network service and helper processes; no
    // render process yet. Safe to call again.
    void startEngine();

    // The main view's page, without a view, on a blank document: its render process starts
    // now, and the page's first navigation finds it running. Safe to call again.
    void preparePage();

    // The prepared page goes, and its render process with it.
    void dropPage();

    // The prepared page, now the caller's (for the main view); nullptr when none is prepared.
    BrowserPage* takePage();

private:
    Profile& profile_;
    QPointer<BrowserPage> prepared_;
};

} // namespace talvo::browser
