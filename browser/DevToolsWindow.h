#pragma once

#include <QPointer>
#include <QWidget>

class QWebEnginePage;
class QWebEngineProfile;

namespace talvo::browser {

// The engine's developer tools for one page, in a window of their own. Only a program
// started with --devtools makes them; they go when the page they inspect goes.
class DevToolsWindow : public QWidget {
    Q_OBJECT
public:
    DevToolsWindow(QWebEnginePage* inspected, QWebEngineProfile* profile);

    QWebEnginePage* inspected() const { return inspected_; }

private:
    QPointer<QWebEnginePage> inspected_;
};

} // namespace talvo::browser
