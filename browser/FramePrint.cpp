#include "browser/FramePrint.h"

#include <QScopeGuard>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "browser/InertCopy.h"
#include "browser/PrintPreview.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

// In the page's own world, where its scripts call print(). A frame's print() hands the
// frame's document to the top and prints the top; a frame the top cannot reach (another
// site) keeps the engine's own print. Frames written by script have no document of their
// own to run this in, so the top also fits the print of any frame it hands out.
const QString kFrameHook = QStringLiteral(R"JS(
(function () {
  'use strict';
  function hook(win) {
    try {
      if (win === win.top || win.__talvoPrintHooked) return;
      var enginePrint = win.print;
      Object.defineProperty(win, '__talvoPrintHooked', { value: true });
      win.print = function () {
        try {
          var doc = win.document;
          win.top.__talvoFramePrint = {
            html: '<!DOCTYPE html>' + (doc.documentElement ? doc.documentElement.outerHTML : ''),
            base: doc.baseURI,
            title: doc.title
          };
          win.top.print();
        } catch (e) {
          enginePrint.call(win);
        }
      };
    } catch (e) {}
  }
  hook(window);
  if (window !== window.top) return;
  var frames = HTMLIFrameElement.prototype;
  var described = Object.getOwnPropertyDescriptor(frames, 'contentWindow');
  Object.defineProperty(frames, 'contentWindow', {
    configurable: true,
    enumerable: described.enumerable,
    get: function () {
      var win = described.get.call(this);
      if (win) hook(win);
      return win;
    }
  });
})();
)JS");

const QString kTakeFrame = QStringLiteral(
    "(function () { var f = window.__talvoFramePrint || null; window.__talvoFramePrint = null;"
    " return f && typeof f.html === 'string' ? [f.html, String(f.base), String(f.title)] : null; })()");

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port() == b.port();
}

} // namespace

FramePrint::FramePrint(PrintPreview* preview, QObject* parent) : QObject(parent), preview_(preview) { }

void FramePrint::prepare(QWebEnginePage* page)
{
    QWebEngineScript hook;
    hook.setName(QStringLiteral("talvo-frame-print"));
    hook.setSourceCode(kFrameHook);
    hook.setInjectionPoint(QWebEngineScript::DocumentCreation);
    hook.setWorldId(QWebEngineScript::MainWorld);
    hook.setRunsOnSubFrames(true);
    page->scripts().insert(hook);
}

void FramePrint::print(QWebEngineView* view)
{
    QPointer<QWebEngineView> guarded(view);
    QPointer<QWidget> window(view->window());
    view->page()->runJavaScript(kTakeFrame, QWebEngineScript::MainWorld,
                                [this, guarded, window](const QVariant& result) {
                                    // Printing from inside the engine's own callback never finishes: act after it.
                                    QTimer::singleShot(0, this, [this, guarded, window, frame = result.toList()] {
                                        const auto done = qScopeGuard([this, window] { emit attempted(window); });
                                        if (!guarded || !preview_)
                                            return;
                                        if (frame.size() != 3) {
                                            preview_->open(guarded);
                                            return;
                                        }
                                        // The page's word for where the frame's addresses resolve holds only within its
                                        // site.
                                        QUrl base(frame.at(1).toString());
                                        if (!sameOrigin(base, guarded->url()))
                                            base = guarded->url();
                                        printDocument(guarded, frame.at(0).toString(), base, frame.at(2).toString());
                                    });
                                });
}

void FramePrint::printDocument(QWebEngineView* view, const QString& html, const QUrl& base, const QString& title)
{
    qCInfo(lcWindows).noquote() << QStringLiteral("print of a frame: %1 (%2 characters)").arg(title).arg(html.size());
    // Never on screen; it lives as long as its preview. The engine prints only a page
    // whose view has been shown.
    auto* copy = new QWebEngineView;
    copy->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    copy->move(-5000, -5000);
    auto* page = new QWebEnginePage(view->page()->profile(), copy);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    copy->setPage(page);
    copy->resize(800, 600);
    copy->show();
    connect(view, &QObject::destroyed, copy, &QObject::deleteLater);
    QPointer<QWebEngineView> origin(view);
    connect(
        page, &QWebEnginePage::loadFinished, copy,
        [this, copy, page, html, origin, title] {
            page->runJavaScript(inertCopyScript(html), QWebEngineScript::ApplicationWorld,
                                [this, copy, origin, title](const QVariant&) {
                                    if (!preview_ || !origin) {
                                        copy->deleteLater();
                                        return;
                                    }
                                    QTimer::singleShot(0, copy, [this, copy, origin, title] {
                                        if (!preview_ || !origin) {
                                            copy->deleteLater();
                                            return;
                                        }
                                        connect(preview_, &PrintPreview::closed, copy, &QObject::deleteLater);
                                        preview_->open(copy, origin->window(), title);
                                        if (preview_->window() != origin->window())
                                            copy->deleteLater(); // another preview was open: this one was dropped
                                    });
                                });
        },
        Qt::SingleShotConnection);
    page->setHtml(QStringLiteral("<!DOCTYPE html><html><head></head><body></body></html>"), base);
}

} // namespace talvo::browser
