#include "browser/WarmUp.h"

#include <QCoreApplication>
#include <QPointer>
#include <QUrl>

#include "browser/BrowserPage.h"
#include "browser/Profile.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser::warmup {

namespace {

QPointer<BrowserPage>& prepared()
{
    static QPointer<BrowserPage> page;
    return page;
}

} // namespace

void startEngine()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    profile();
    // A page nobody took must go before the profile does.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [] { dropPage(); });
    qCInfo(lcWindows, "browser engine started");
}

void preparePage()
{
    if (prepared())
        return;
    startEngine();
    auto* page = new BrowserPage(BrowserPage::Role::Main, nullptr);
    page->load(QUrl(QStringLiteral("about:blank")));
    prepared() = page;
    qCInfo(lcWindows, "browser page prepared");
}

void dropPage()
{
    if (BrowserPage* page = prepared()) {
        prepared() = nullptr;
        delete page;
        qCInfo(lcWindows, "browser page dropped");
    }
}

BrowserPage* takePage()
{
    BrowserPage* page = prepared();
    prepared() = nullptr;
    return page;
}

} // namespace talvo::browser::warmup
