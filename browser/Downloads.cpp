#include "browser/Downloads.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QStandardPaths>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include <memory>

#include "browser/logic/DownloadName.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

const QString kPartSuffix = QStringLiteral(".part");
// How long an interrupted download may wait for the engine's next attempt.
constexpr int kResumeGraceMs = 4000;

QString sizeText(double bytes)
{
    return QLocale(QLocale::English).formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
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

struct Downloads::Placement {
    QString target;
    QPointer<QWebEngineDownloadRequest> current; // the engine's latest attempt
    bool over = false;
};

void Downloads::onRequested(QWebEngineDownloadRequest* download)
{
    if (download->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;
    if (const auto known = placed_.value(download->id())) {
        if (known->over) {
            download->cancel();
            return;
        }
        qCInfo(lcWindows).noquote() << "download resumed: " + known->target;
        place(download, known);
        return;
    }
    const QString suggested = QString::fromStdU16String(browserlogic::downloadFileName(
        download->downloadFileName().toStdU16String(), download->url().path().toStdU16String()));
    qCInfo(lcWindows).noquote() << "download requested: " + suggested + " from " + download->url().toString();

    // The dialog runs its own event loop; the request stays ours meanwhile.
    QFileDialog dialog(dialogParent_ ? dialogParent_() : nullptr, QString::fromUtf16(u"另存为"),
                       QDir(startFolder()).filePath(suggested));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(suggested);
    dialog.setObjectName(QStringLiteral("saveDialog"));
    const QString extension = QFileInfo(suggested).suffix();
    if (!extension.isEmpty())
        dialog.setDefaultSuffix(extension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        download->cancel();
        qCInfo(lcWindows).noquote() << "download cancelled: " + suggested;
        emit status(QString::fromUtf16(u"已取消下载：") + suggested);
        emit ended();
        return;
    }
    auto placement = std::make_shared<Placement>();
    placement->target = QDir::cleanPath(dialog.selectedFiles().constFirst());
    placed_.insert(download->id(), placement);
    qCInfo(lcWindows).noquote() << "download started: " + placement->target;
    place(download, placement);
}

void Downloads::place(QWebEngineDownloadRequest* download, const std::shared_ptr<Placement>& placement)
{
    placement->current = download;
    const QFileInfo targetInfo(placement->target);
    const QString name = targetInfo.fileName();
    download->setDownloadDirectory(targetInfo.absolutePath());
    download->setDownloadFileName(name + kPartSuffix);
    auto progress = std::make_shared<Progress>();
    progress->clock.start();

    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, [this, download, name, progress] {
        const qint64 now = progress->clock.elapsed();
        const qint64 bytes = download->receivedBytes();
        if (now - progress->lastMs >= 250) {
            const double rate = (bytes - progress->lastBytes) * 1000.0 / std::max<qint64>(1, now - progress->lastMs);
            progress->bytesPerSecond = progress->lastMs == 0 ? rate : 0.5 * progress->bytesPerSecond + 0.5 * rate;
            progress->lastBytes = bytes;
            progress->lastMs = now;
        }
        if (now - progress->shownMs < 250)
            return;
        progress->shownMs = now;
        const qint64 total = download->totalBytes();
        const QString amount = total > 0 ? QStringLiteral("%1%").arg(bytes * 100 / total) : sizeText(bytes);
        emit status(QString::fromUtf16(u"正在下载 %1：%2（%3/s）").arg(name, amount, sizeText(progress->bytesPerSecond)));
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
    emit status(QString::fromUtf16(u"正在下载 %1…").arg(name));
}

void Downloads::finish(QWebEngineDownloadRequest* download, const std::shared_ptr<Placement>& placement)
{
    if (placement->over)
        return;
    placement->over = true;
    const QString& target = placement->target;
    const QString name = QFileInfo(target).fileName();
    const QString part = QDir(download->downloadDirectory()).filePath(download->downloadFileName());
    switch (download->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        placed_.remove(download->id());
        // The user agreed to replace an existing file in the dialog.
        if (QFileInfo::exists(target) && target != part)
            QFile::remove(target);
        if (part == target || QFile::rename(part, target)) {
            qCInfo(lcWindows).noquote() << "download complete: " + target;
            emit status(QString::fromUtf16(u"下载完成：") + QDir::toNativeSeparators(target));
        } else {
            qCWarning(lcWindows).noquote() << "download could not be renamed: " + part;
            QFile::remove(part);
            emit status(QString::fromUtf16(u"下载失败：%1（无法写入 %2）").arg(name, QDir::toNativeSeparators(target)));
        }
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        placed_.remove(download->id());
        QFile::remove(part);
        qCInfo(lcWindows).noquote() << "download cancelled: " + name;
        emit status(QString::fromUtf16(u"已取消下载：") + name);
        break;
    default: {
        // Kept in placed_ as over: a later attempt of the engine's is turned away.
        // After the engine's own retries the reason may read as a cancel; it was the connection.
        const QString reason = download->interruptReason() == QWebEngineDownloadRequest::UserCanceled
                                   || download->interruptReason() == QWebEngineDownloadRequest::NoReason
                                   ? QString::fromUtf16(u"连接中断")
                                   : download->interruptReasonString();
        download->cancel();
        QFile::remove(part);
        qCInfo(lcWindows).noquote() << "download failed: " + name + " (" + reason + ")";
        emit status(QString::fromUtf16(u"下载失败：%1（%2）").arg(name, reason));
        break;
    }
    }
    emit ended();
}

} // namespace talvo::browser
