#include "browser/WarmUp.h"

#include <QUrl>

#include "browser/BrowserPage.h"
#include "browser/Profile.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

WarmUp::WarmUp(Profile& profile) : profile_(profile) { }

WarmUp::~WarmUp() { dropPage(); }

void WarmUp::startEngine()
{
    if (profile_.started())
        return;
    profile_.engine();
    qCInfo(lcWindows, "browser engine started");
    platform::logStartupStep("browser engine started");
}

void WarmUp::preparePage()
{
    if (prepared_)
        return;
    startEngine();
    auto* page = new BrowserPage(BrowserPage::Role::Main, profile_, nullptr);
    QObject::connect(
        page, &QWebEnginePage::loadFinished, page, [] { platform::logStartupStep("browser page ready"); },
        Qt::SingleShotConnection);
    page->load(QUrl(QStringLiteral("about:blank")));
    prepared_ = page;
    qCInfo(lcWindows, "browser page prepared");
    platform::logStartupStep("browser page prepared");
}

void WarmUp::dropPage()
{
    if (BrowserPage* page = prepared_) {
        prepared_ = nullptr;
        delete page;
        qCInfo(lcWindows, "browser page dropped");
    }
}

BrowserPage* WarmUp::takePage()
{
    BrowserPage* page = prepared_;
    prepared_ = nullptr;
    return page;
}

} // namespace talvo::browser
