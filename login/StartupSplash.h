#pragma once

#include <QWidget>

namespace talvo::login {

// Shown while the lookup at start runs, when no window of ours is on screen yet and the
// attempts may take many seconds. The lookup blocks the event loop on purpose (no user
// event may run in between), so the splash paints itself synchronously.
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
