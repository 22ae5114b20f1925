#include "main/TitleWatcher.h"

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>

namespace talvo {

TitleWatcher::TitleWatcher(QWebEnginePage* page, QObject* parent, int checkTimeoutMs)
    : QObject(parent), page_(page), checkTimeoutMs_(checkTimeoutMs)
{
    connect(page_, &QWebEnginePage::titleChanged, this, &TitleWatcher::onPageTitle);
}

void TitleWatcher::stop()
{
    stopped_ = true;
    queue_.clear();
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
    if (!couldBeAddress(text, page_->url())) {
        queue_.push_back({id, text, State::Deliver});
        pump();
        return;
    }
    queue_.push_back({id, text, State::Checking});
    QPointer<TitleWatcher> self(this);
    page_->runJavaScript(QStringLiteral("document.title"), [self, id, text](const QVariant& title) {
        if (self)
            self->resolve(id, title.toString() == text ? State::Deliver : State::Drop);
    });
    QTimer::singleShot(checkTimeoutMs_, this, [this, id] { resolve(id, State::Drop); });
}

void TitleWatcher::resolve(std::uint64_t id, State state)
{
    for (Entry& entry : queue_) {
        if (entry.id == id) {
            if (entry.state == State::Checking)
                entry.state = state;
            break;
        }
    }
    pump();
}

void TitleWatcher::pump()
{
    if (delivering_)
        return; // the outer call picks the rest up
    delivering_ = true;
    QPointer<TitleWatcher> self(this);
    while (!stopped_ && !queue_.empty() && queue_.front().state != State::Checking) {
        const Entry entry = queue_.front();
        queue_.pop_front();
        if (entry.state == State::Deliver) {
            emit titleChanged(entry.text);
            if (!self)
                return; // the receiver took the page down with it
        }
    }
    delivering_ = false;
}

} // namespace talvo
