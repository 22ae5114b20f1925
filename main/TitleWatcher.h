#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "main/logic/ExactTitles.h"

class QWebEnginePage;

namespace talvo {

// Turns the page's title changes into the texts its title element took, in order.
//
// WebEngine reports titles trimmed and with runs of blanks collapsed, and reports a page
// without a title under its address. So a script in a world of its own, out of the
// page's reach, records every text of the title element, and each report fetches what
// was recorded since the previous one; later reports wait behind it so the order is kept.
// A change of blanks alone is no change to the engine and brings no report of its own:
// it is passed on, in its place, with the next report.
// While the receiver holds them (an exit confirmation waits for its answer), further
// titles queue up, as they do behind a title still being handled: the newest 256 at most,
// each cut to 64 Ki units.
class TitleWatcher : public QObject {
    Q_OBJECT
public:
    // fetchTimeoutMs bounds the wait for the recorded texts; a fetch that gets no answer in
    // time (the renderer is gone or stuck) leaves the report as the engine gave it.
    explicit TitleWatcher(QWebEnginePage* page, QObject* parent = nullptr, int fetchTimeoutMs = 2000);

    // Nothing is delivered after this, queued titles included.
    void stop();
    // Titles wait from now on, until resume(); the rest of a report waits as well.
    void hold();
    void resume();

    // True when text may be the address WebEngine shows for an untitled document.
    static bool couldBeAddress(const QString& text, const QUrl& url);

signals:
    // url: the address of the document the title belongs to, when the engine reported it.
    void titleChanged(const QString& title, const QUrl& url);

private:
    struct Entry {
        std::uint64_t id;
        std::u16string reported;
        QUrl url;
        bool couldBeAddress;
        bool fetching;
        std::optional<std::vector<std::u16string>> exact;
    };

    void onPageTitle(const QString& text);
    void resolve(std::uint64_t id, std::optional<std::vector<std::u16string>> exact);
    void pump();
    // Keeps the queue to the newest titles (see mainlogic::kMaxQueuedTitles).
    void dropOldest();

    QWebEnginePage* page_;
    int fetchTimeoutMs_;
    mainlogic::ExactTitles exactTitles_;
    std::deque<Entry> queue_;
    // The titles of the report being delivered that have not gone out yet.
    std::deque<std::u16string> ready_;
    QUrl readyUrl_;
    bool held_ = false;
    std::uint64_t nextId_ = 1;
    bool delivering_ = false;
    bool stopped_ = false;
};

} // namespace talvo
