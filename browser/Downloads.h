#pragma once

#include <QHash>
#include <QObject>

#include <functional>
#include <memory>

class QWebEngineDownloadRequest;
class QWebEngineProfile;
class QWidget;

namespace talvo::browser {

// Every download asks where to save with a "另存为" dialog, suggesting the server's file
// name in the user's download folder. The file arrives under a temporary name beside the
// chosen one and takes the chosen name only when complete, so a failed or cancelled
// download never leaves a partial file under it (nor spoils a file it was to replace).
// Nothing is ever opened or run afterwards.
class Downloads : public QObject {
    Q_OBJECT
public:
    using ParentFinder = std::function<QWidget*()>;
    Downloads(QWebEngineProfile* profile, ParentFinder dialogParent, QObject* parent);

    // The folder the save dialog starts in: the user's download folder, else HOME.
    static QString startFolder();

signals:
    // Progress, completion and failure, one line for the status bar.
    void status(const QString& text);
    // A download ended (completed, failed or cancelled); the status bar may go back.
    void ended();

private:
    void onRequested(QWebEngineDownloadRequest* download);
    struct Placement;
    // Saves download where placement says (by way of the temporary name), reports on it.
    void place(QWebEngineDownloadRequest* download, const std::shared_ptr<Placement>& placement);
    void finish(QWebEngineDownloadRequest* download, const std::shared_ptr<Placement>& placement);

    ParentFinder dialogParent_;
    // Where each download the user placed goes. The engine asks again for a download it
    // resumes after a broken connection; that must not bring the dialog up a second time.
    QHash<quint32, std::shared_ptr<Placement>> placed_;
};

} // namespace talvo::browser
