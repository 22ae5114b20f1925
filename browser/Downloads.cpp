#include "browser/Downloads.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include <filesystem>
#include <memory>

#include "browser/logic/DownloadName.h"
#include "platform/PartFile.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

// A download that could not be written: its name, then the folder or file.
const QString kWriteFailed = QString::fromUtf16(u"下载失败：%1（无法写入 %2）");

std::filesystem::path toPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

QString fromPath(const std::filesystem::path& path) { return QString::fromStdU16String(path.u16string()); }

// How long an interrupted download may wait for the engine's next attempt.
constexpr int kResumeGraceMs = 4000;

QString sizeText(double bytes)
{
    return QLocale(QLocale::English)
        .formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

// Progress of one download, for its status line.
struct Progress {
    QElapsedTimer clock;
    qint64 lastBytes = 0;
    qint64 lastMs = 0;
    double bytesPerSecond = 0;
    qint64 shownMs = -1000;
};

} // namespace

Downloads::Downloads(QWebEngineProfile* profile, ParentFinder dialogParent, QObject* parent)
    : QObject(parent), dialogParent_(std::move(dialogParent))
{
    connect(profile, &QWebEngineProfile::downloadRequested, this, &Downloads::onRequested);
}

QString Downloads::startFolder()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && QFileInfo(downloads).isDir())
        return downloads;
    return QDir::homePath();
}

Downloads::~Downloads()
{
    // Gone with us, without an answer to give.
    if (dialog_) {
        dialog_->disconnect(this);
        delete dialog_;
    }
}

struct Downloads::Placement {
    quint32 id = 0;
    QString suggested;
    QString target;                              // empty until the user chose it
    QString part;                                // made by us, ours to remove
    QPointer<QWebEngineDownloadRequest> current; // the engine's latest attempt
    bool answered = false;
    bool refused = false;
    bool over = false;     // the engine is done with it
    bool reported = false; // its end was told
    QWebEngineDownloadRequest::DownloadState outcome = QWebEngineDownloadRequest::DownloadRequested;
    QString reason; // why it failed

    QString name() const { return target.isEmpty() ? suggested : QFileInfo(target).fileName(); }
};

void Downloads::onRequested(QWebEngineDownloadRequest* download)
{
    if (download->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;
    if (const auto known = placed_.value(download->id())) {
        if (known->over || known->refused) {
            download->cancel();
            return;
        }
        qCInfo(lcWindows).noquote() << "download resumed: " + known->name();
        place(download, known);
        return;
    }
    const QString suggested = QString::fromStdU16String(browserlogic::downloadFileName(
        download->downloadFileName().toStdU16String(), download->url().path().toStdU16String()));
    qCInfo(lcWindows).noquote() << "download requested: " + suggested + " from " + download->url().toString();

    // The engine needs its answer before this returns, but the user's comes later: the
    // download starts at once into a file of its own in the start folder, and moves to the
    // chosen name when both are done.
    auto placement = std::make_shared<Placement>();
    placement->id = download->id();
    placement->suggested = suggested;
    placement->part = fromPath(platform::createPartFile(toPath(QDir(startFolder()).filePath(suggested))));
    if (placement->part.isEmpty()) {
        download->cancel();
        qCInfo(lcWindows).noquote() << "download failed: " + suggested + " (no temporary file)";
        emit status(kWriteFailed.arg(suggested, QDir::toNativeSeparators(startFolder())));
        emit ended();
        return;
    }
    placed_.insert(placement->id, placement);
    place(download, placement);
    waiting_.push_back(placement);
    askNext();
}

void Downloads::askNext()
{
    if (dialog_ || waiting_.empty())
        return;
    const std::shared_ptr<Placement> next = waiting_.front();
    waiting_.pop_front();
    auto* dialog = new QFileDialog(dialogParent_ ? dialogParent_() : nullptr, QString::fromUtf16(u"另存为"),
                                   QDir(startFolder()).filePath(next->suggested));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->selectFile(next->suggested);
    dialog->setObjectName(QStringLiteral("saveDialog"));
    const QString extension = QFileInfo(next->suggested).suffix();
    if (!extension.isEmpty())
        dialog->setDefaultSuffix(extension);
    dialog_ = dialog;
    connect(dialog, &QFileDialog::finished, this, [this, dialog, next](int result) {
        if (next->answered)
            return;
        const QStringList files = dialog->selectedFiles();
        dialog_ = nullptr;
        dialog->deleteLater();
        answer(next, result == QDialog::Accepted && !files.isEmpty() ? QDir::cleanPath(files.constFirst()) : QString());
        askNext();
    });
    // The window it belonged to went away (a page may close its window at any moment):
    // no answer means no download.
    connect(dialog, &QObject::destroyed, this, [this, next] {
        if (next->answered)
            return;
        dialog_ = nullptr;
        // Not from inside the window's teardown, where what hears our signals may be half
        // gone; if we go with it, nothing is left to do.
        QTimer::singleShot(0, this, [this, next] {
            if (next->answered)
                return;
            answer(next, {});
            askNext();
        });
    });
    dialog->open();
}

void Downloads::answer(const std::shared_ptr<Placement>& placement, const QString& chosen)
{
    placement->answered = true;
    if (chosen.isEmpty()) {
        placement->refused = true;
        if (placement->current && !placement->over)
            placement->current->cancel();
        QFile::remove(placement->part);
        report(placement, QWebEngineDownloadRequest::DownloadCancelled);
        return;
    }
    placement->target = chosen;
    qCInfo(lcWindows).noquote() << "download started: " + placement->target;
    if (placement->over)
        report(placement, placement->outcome);
}

void Downloads::place(QWebEngineDownloadRequest* download, const std::shared_ptr<Placement>& placement)
{
    placement->current = download;
    const QFileInfo partInfo(placement->part);
    download->setDownloadDirectory(partInfo.absolutePath());
    download->setDownloadFileName(partInfo.fileName());
    auto progress = std::make_shared<Progress>();
    progress->clock.start();

    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, [this, download, placement, progress] {
        const qint64 now = progress->clock.elapsed();
        const qint64 bytes = download->receivedBytes();
        if (now - progress->lastMs >= 250) {
            const double rate = (bytes - progress->lastBytes) * 1000.0 / std::max<qint64>(1, now - progress->lastMs);
            progress->bytesPerSecond = progress->lastMs == 0 ? rate : 0.5 * progress->bytesPerSecond + 0.5 * rate;
            progress->lastBytes = bytes;
            progress->lastMs = now;
        }
        // Nothing on the status bar before the user said where it goes.
        if (now - progress->shownMs < 250 || placement->target.isEmpty())
            return;
        progress->shownMs = now;
        const qint64 total = download->totalBytes();
        const QString amount = total > 0 ? QStringLiteral("%1%").arg(bytes * 100 / total) : sizeText(bytes);
        emit status(QString::fromUtf16(u"正在下载 %1：%2（%3/s）")
                        .arg(placement->name(), amount, sizeText(progress->bytesPerSecond)));
    });
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download, placement] {
        if (download->isFinished())
            finish(download, placement);
    });
    // A broken connection leaves the download interrupted but resumable, which is never
    // "finished": the engine tries again by itself for a while, and when no new attempt
    // has come after a grace period it counts as failed.
    connect(download, &QWebEngineDownloadRequest::stateChanged, this, [this, download, placement](auto state) {
        if (state != QWebEngineDownloadRequest::DownloadInterrupted)
            return;
        QTimer::singleShot(kResumeGraceMs, this, [this, download = QPointer(download), placement] {
            if (download && placement->current == download && !placement->over
                && download->state() == QWebEngineDownloadRequest::DownloadInterrupted)
                finish(download, placement);
        });
    });
    download->accept();
    if (!placement->target.isEmpty())
        emit status(QString::fromUtf16(u"正在下载 %1…").arg(placement->name()));
}

void Downloads::finish(QWebEngineDownloadRequest* download, const std::shared_ptr<Placement>& placement)
{
    if (placement->over)
        return;
    placement->over = true;
    placement->outcome = download->state();
    if (placement->outcome != QWebEngineDownloadRequest::DownloadCompleted
        && placement->outcome != QWebEngineDownloadRequest::DownloadCancelled) {
        // After the engine's own retries the reason may read as a cancel; it was the connection.
        placement->reason = download->interruptReason() == QWebEngineDownloadRequest::UserCanceled
                || download->interruptReason() == QWebEngineDownloadRequest::NoReason
            ? QString::fromUtf16(u"连接中断")
            : download->interruptReasonString();
        download->cancel();
    }
    if (placement->refused) {
        // Told already; whatever the engine left under our name goes.
        placed_.remove(placement->id);
        QFile::remove(placement->part);
        return;
    }
    // Otherwise told once the user has answered.
    if (placement->answered)
        report(placement, placement->outcome);
}

bool Downloads::moveIntoPlace(const QString& part, const QString& target)
{
    // The user agreed to replace an existing file in the dialog: one rename replaces it,
    // and a failed one leaves it as it was.
    if (platform::replaceFile(toPath(part), toPath(target))) {
        QFile::remove(part); // nothing there after a rename; still ours if it was a copy
        return true;
    }
    // Another file system: copied into a new file of ours beside the target first.
    const QString copy = fromPath(platform::createPartFile(toPath(target)));
    if (copy.isEmpty())
        return false;
    QFile from(part);
    QFile to(copy);
    bool copied = from.open(QIODevice::ReadOnly) && to.open(QIODevice::WriteOnly | QIODevice::Truncate);
    while (copied && !from.atEnd()) {
        const QByteArray chunk = from.read(1 << 20);
        copied = !chunk.isEmpty() && to.write(chunk) == chunk.size();
    }
    copied = copied && to.flush();
    to.close();
    if (!copied || !platform::replaceFile(toPath(copy), toPath(target))) {
        QFile::remove(copy);
        return false;
    }
    QFile::remove(part);
    return true;
}

void Downloads::report(const std::shared_ptr<Placement>& placement, QWebEngineDownloadRequest::DownloadState outcome)
{
    if (placement->reported)
        return;
    placement->reported = true;
    const QString name = placement->name();
    const QString& target = placement->target;
    switch (outcome) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        placed_.remove(placement->id);
        if (moveIntoPlace(placement->part, target)) {
            qCInfo(lcWindows).noquote() << "download complete: " + target;
            emit status(QString::fromUtf16(u"下载完成：") + QDir::toNativeSeparators(target));
        } else {
            qCWarning(lcWindows).noquote() << "download could not be renamed: " + placement->part;
            QFile::remove(placement->part);
            emit status(kWriteFailed.arg(name, QDir::toNativeSeparators(target)));
        }
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        // A refused one stays known until the engine is done with it: a later attempt of
        // its is turned away.
        if (placement->over)
            placed_.remove(placement->id);
        QFile::remove(placement->part);
        qCInfo(lcWindows).noquote() << "download cancelled: " + name;
        emit status(QString::fromUtf16(u"已取消下载：") + name);
        break;
    default:
        // Kept in placed_ as over: a later attempt of the engine's is turned away.
        QFile::remove(placement->part);
        qCInfo(lcWindows).noquote() << "download failed: " + name + " (" + placement->reason + ")";
        emit status(QString::fromUtf16(u"下载失败：%1（%2）").arg(name, placement->reason));
        break;
    }
    emit ended();
}

} // namespace talvo::browser
