#include "main/TitleWatcher.h"

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <algorithm>

namespace talvo {

namespace {

// Our own world: the page can neither see nor replace what runs there, yet shares its DOM.
constexpr quint32 kWorld = QWebEngineScript::ApplicationWorld;

// Records each text the title element takes. document.title = x replaces every child of
// the title element by one text node holding x, so a mutation record that leaves nothing
// beside its added nodes gives x exactly, even when later titles followed within the same
// task. Anything else (parsing, partial edits, a new title element) counts by the text the
// title element holds when the records arrive.
const QString kRecorder = QStringLiteral(R"JS(
(function () {
  'use strict';
  // The engine's failure pages are no document of the page: their titles are not recorded.
  if (window.__talvoTitles || location.protocol === 'chrome-error:') return;
  var log = [];
  var last = '';
  function titleElement() {
    var all = document.getElementsByTagName('title');
    for (var i = 0; i < all.length; ++i)
      if (all[i] instanceof HTMLTitleElement) return all[i];
    return null;
  }
  function currentText() {
    var root = document.documentElement;
    if (root && !(root instanceof HTMLElement)) return document.title;
    var title = titleElement();
    return title ? title.text : '';
  }
  function keep(text) {
    // Bounded here already, so a huge title never crosses to the program whole.
    if (text.length > 65536) {
      var end = 65536;
      var unit = text.charCodeAt(end - 1);
      if (unit >= 0xD800 && unit <= 0xDBFF) --end;
      text = text.substring(0, end);
    }
    if (text === last) return;
    last = text;
    log.push(text);
    if (log.length > 256) log.splice(0, log.length - 256);
  }
  function take(records) {
    if (!records.length) return;
    var title = titleElement();
    for (var i = 0; i < records.length; ++i) {
      var r = records[i];
      if (r.type !== 'childList' || r.target !== title || r.previousSibling || r.nextSibling) continue;
      var text = '';
      for (var j = 0; j < r.addedNodes.length; ++j)
        if (r.addedNodes[j].nodeType === Node.TEXT_NODE) text += r.addedNodes[j].data;
      keep(text);
    }
    keep(currentText());
  }
  var observer = new MutationObserver(take);
  observer.observe(document, { childList: true, subtree: true, characterData: true });
  window.__talvoTitles = function () {
    take(observer.takeRecords());
    keep(currentText());
    var out = log;
    log = [];
    return out;
  };
})();
)JS");

const QString kFetch = QStringLiteral("window.__talvoTitles ? window.__talvoTitles() : null");

} // namespace

TitleWatcher::TitleWatcher(QWebEnginePage* page, QObject* parent, int fetchTimeoutMs)
    : QObject(parent), page_(page), fetchTimeoutMs_(fetchTimeoutMs)
{
    QWebEngineScript recorder;
    recorder.setName(QStringLiteral("talvo-title-recorder"));
    recorder.setSourceCode(kRecorder);
    recorder.setInjectionPoint(QWebEngineScript::DocumentCreation);
    recorder.setWorldId(kWorld);
    recorder.setRunsOnSubFrames(false); // only the top document's title is the page's
    page_->scripts().insert(recorder);
    connect(page_, &QWebEnginePage::titleChanged, this, &TitleWatcher::onPageTitle);
}

void TitleWatcher::stop()
{
    stopped_ = true;
    queue_.clear();
    ready_.clear();
}

bool TitleWatcher::couldBeAddress(const QString& text, const QUrl& url)
{
    if (text.isEmpty() || url.isEmpty())
        return false;
    // The shown form drops the scheme, decodes escapes and may trim the address, so any
    // part of any of its spellings counts.
    const QString spellings[] = {
        url.toString(),
        QUrl::fromPercentEncoding(url.toEncoded()),
        url.toDisplayString(),
        QString::fromUtf8(url.toEncoded()),
    };
    for (const QString& spelling : spellings)
        if (spelling.contains(text))
            return true;
    return false;
}

void TitleWatcher::onPageTitle(const QString& text)
{
    if (stopped_)
        return;
    const std::uint64_t id = nextId_++;
    queue_.push_back({id, mainlogic::boundedTitle(text.toStdU16String()), page_->url(),
                      couldBeAddress(text, page_->url()), true, std::nullopt});
    dropOldest();
    QPointer<TitleWatcher> self(this);
    page_->runJavaScript(kFetch, kWorld, [self, id](const QVariant& result) {
        if (!self)
            return;
        std::optional<std::vector<std::u16string>> exact;
        if (result.typeId() == QMetaType::QVariantList) {
            exact.emplace();
            const QVariantList items = result.toList();
            // One place stays for the report itself.
            const qsizetype first = std::max<qsizetype>(0, items.size() - qsizetype(mainlogic::kMaxQueuedTitles - 1));
            for (qsizetype i = first; i < items.size(); ++i)
                exact->push_back(items[i].toString().toStdU16String());
            mainlogic::boundTitles(*exact, mainlogic::kMaxQueuedTitles - 1);
        }
        self->resolve(id, std::move(exact));
    });
    QTimer::singleShot(fetchTimeoutMs_, this, [this, id] { resolve(id, std::nullopt); });
}

void TitleWatcher::resolve(std::uint64_t id, std::optional<std::vector<std::u16string>> exact)
{
    for (Entry& entry : queue_) {
        if (entry.id == id) {
            if (entry.fetching) {
                entry.fetching = false;
                entry.exact = std::move(exact);
            }
            break;
        }
    }
    dropOldest();
    pump();
}

void TitleWatcher::dropOldest()
{
    mainlogic::dropOldestTitles(queue_, [](const Entry& entry) { return 1 + (entry.exact ? entry.exact->size() : 0); });
}

void TitleWatcher::pump()
{
    if (delivering_)
        return; // the outer call picks the rest up
    delivering_ = true;
    QPointer<TitleWatcher> self(this);
    while (!stopped_ && !held_) {
        if (ready_.empty()) {
            if (queue_.empty() || queue_.front().fetching)
                break;
            const Entry entry = std::move(queue_.front());
            queue_.pop_front();
            const std::vector<std::u16string> titles = exactTitles_.onReport(entry.reported, entry.exact,
                                                                             entry.couldBeAddress);
            ready_.assign(titles.begin(), titles.end());
            readyUrl_ = entry.url;
            continue;
        }
        const QString title = QString::fromStdU16String(ready_.front());
        ready_.pop_front();
        emit titleChanged(title, readyUrl_);
        if (!self)
            return; // the receiver took the page down with it
    }
    delivering_ = false;
}

void TitleWatcher::hold() { held_ = true; }

void TitleWatcher::resume()
{
    held_ = false;
    pump();
}

} // namespace talvo
