// The floor the client's start-up is measured against: a bare browser view, created as soon
// as the process starts, opening the login page directly with no lookup and no window chrome.
#include <QApplication>
#include <QUrl>
#include <QWebEngineView>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: bench_bare_view URL\n");
        return 2;
    }
    QWebEngineView view;
    view.resize(1011, 767);
    view.setWindowTitle("bare view");
    view.load(QUrl(args.at(1)));
    view.show();
    return app.exec();
}
