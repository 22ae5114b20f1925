#pragma once

#include <QWidget>

namespace talvo::login {

// Shown while the lookup at start runs, when no window of ours is on screen yet and the
// attempts may take many seconds. It paints itself at once when told, so the first
// attempt is on screen before the browser engine's start-up takes this thread for a while.
class StartupSplash : public QWidget {
public:
    StartupSplash();

    // Shows the splash if needed and repaints it with the attempt number (from 1).
    void showAttempt(int attempt);
    int attempt() const { return attempt_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int attempt_ = 0;
};

} // namespace talvo::login
