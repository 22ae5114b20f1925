#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWebEngineDownloadRequest>

#include <deque>
#include <functional>
#include <memory>

class QFileDialog;
class QWebEngineProfile;
class QWidget;

namespace talvo::browser {

// Every download asks where to save with a "另存为" dialog, suggesting the server's file
// name in the user's download folder. The dialogs come one at a time, in the order the
// downloads came; each answers through its signals (no event loop of its own), and one whose
// window goes away cancels its download. Meanwhile the file arrives under a temporary name
// of its own in that folder ("NAME.XXXXXX.part", made new, so no file that was there is ever
// reused or removed), and takes the chosen name only when complete and chosen, in one
// rename that replaces what was there, so a failed or cancelled download never leaves a
// partial file under it (nor spoils a file it was to replace). Nothing is ever opened or
// run afterwards.
class Downloads : public QObject {
    Q_OBJECT
public:
    using ParentFinder = std::function<QWidget*()>;
    Downloads(QWebEngineProfile* profile, ParentFinder dialogParent, QObject* parent);
    ~Downloads() override;

    // The folder the save dialog starts in: the user's download folder, else HOME.
    static QString startFolder();

signals:
    // Progress, completion and failure, one line for the status bar.
    void status(const QString& text);
    // A download ended (completed, failed or cancelled); the status bar may go back.
    void ended();

private:
    struct Placement;
    void onRequested(QWebEngineDownloadRequest* download);
    // Opens the save dialog for the next download waiting for one, unless one is open.
    void askNext();
    // The user's answer for one download: where it goes, or empty for nowhere.
    void answer(const std::shared_ptr<Placement>& placement, const QString& chosen);
    // Saves download into the placement's temporary file, reports on it.
    void place(QWebEngineDownloadRequest* download, const std::shared_ptr<Placement>& placement);
    // The engine is done with the download.
    void finish(QWebEngineDownloadRequest* download, const std::shared_ptr<Placement>& placement);
    // Tells how a download ended, once the user answered and the engine is done; a completed
    // one takes its chosen name then.
    void report(const std::shared_ptr<Placement>& placement, QWebEngineDownloadRequest::DownloadState outcome);
    static bool moveIntoPlace(const QString& part, const QString& target);

    ParentFinder dialogParent_;
    // Where each download goes. The engine asks again for a download it resumes after a
    // broken connection; that must not bring the dialog up a second time.
    QHash<quint32, std::shared_ptr<Placement>> placed_;
    // Downloads waiting for their save dialog, oldest first; one dialog is open at a time.
    std::deque<std::shared_ptr<Placement>> waiting_;
    QPointer<QFileDialog> dialog_;
};

} // namespace talvo::browser
