#pragma once

#include <QObject>

#include <functional>

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

    ParentFinder dialogParent_;
};

} // namespace talvo::browser
