#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>

class QWebEnginePage;

namespace talvo {

// Turns the page's title changes into the document's real title changes, in order.
//
// WebEngine reports a page without a title under its address, so a reported text that
// could be the address is checked against document.title before it is passed on; later
// titles wait behind the check so the order is kept. While a receiver is still handling
// one title (an open exit confirmation runs its own event loop), further titles queue up
// instead of nesting.
class TitleWatcher : public QObject {
    Q_OBJECT
public:
    // checkTimeoutMs bounds the wait for document.title; a check that gets no answer in
    // time (the renderer is gone or stuck) drops that text.
    explicit TitleWatcher(QWebEnginePage* page, QObject* parent = nullptr, int checkTimeoutMs = 2000);

    // Nothing is delivered after this, queued titles included.
    void stop();

    // True when text may be the address WebEngine shows for an untitled document.
    static bool couldBeAddress(const QString& text, const QUrl& url);

signals:
    void titleChanged(const QString& title);

private:
    enum class State { Checking, Deliver, Drop };
    struct Entry {
        std::uint64_t id;
        QString text;
        State state;
    };

    void onPageTitle(const QString& text);
    void resolve(std::uint64_t id, State state);
    void pump();

    QWebEnginePage* page_;
    int checkTimeoutMs_;
    std::deque<Entry> queue_;
    std::uint64_t nextId_ = 1;
    bool delivering_ = false;
    bool stopped_ = false;
};

} // namespace talvo
