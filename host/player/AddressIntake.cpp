#include "host/player/AddressIntake.h"

#include "lmtl/RefCountedPtr.h"
#include "plugin/AcceptedEndings.h"
#include "plugin/SettingKeys.h"

#include <QFileInfo>

#include <algorithm>

namespace Lumora::Host {

namespace {

using ItemPtr = lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>;

QString rejectionReason(const QUrl &url, const MediaLibraryHostInterface *libraryHost)
{
    if (!AcceptedEndings::accepts(url))
        return QStringLiteral("not a video file the download manager takes (accepted extensions: %1; letter case counts)")
            .arg(AcceptedEndings::endings().join(QStringLiteral(", ")));
    // The library refused to keep a new download: say why, when it can tell.
    if (const QString why = libraryHost ? libraryHost->writeProblem() : QString(); !why.isEmpty())
        return QStringLiteral("it could not be queued: %1").arg(why);
    return QStringLiteral("the download manager did not queue it (the media library refused a new item)");
}

} // namespace

bool checkAddress(const QString &text, QUrl *url, QString *reason)
{
    // A raw space is what a copied address most often carries; it is encoded, as wget does, rather
    // than the address refused.
    QString given = text.trimmed();
    given.replace(QLatin1Char(' '), QLatin1String("%20"));
    const QUrl parsed(given, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.isRelative()) {
        *reason = QStringLiteral("not an address (give a full URL such as http://host/video.mp4)");
        return false;
    }
    const QString scheme = parsed.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        if (parsed.host().isEmpty()) {
            *reason = QStringLiteral("the address names no host");
            return false;
        }
    } else if (scheme == QLatin1String("file")) {
        // The engine fetches over the network only: a local file would be queued and then fail
        // without a reason. It is refused here, where the user can still do the right thing.
        *reason = QStringLiteral("a local file is not downloaded: copy it into the media folder (\"lumora config "
                                 "get %1\" names it) to have it in the library")
                      .arg(QLatin1String(SettingKeys::MediaFolder));
        return false;
    } else {
        // Anything else would be queued and then fail, so it is refused here too.
        *reason = QStringLiteral("lumora downloads http and https addresses, not %1").arg(scheme);
        return false;
    }
    *url = parsed;
    return true;
}

IntakeResult intakeAddresses(const std::vector<QUrl> &addresses, URIReceiver *receiver,
                             DownloadManagerInterface *manager,
                             const std::function<void(const IntakeOutcome &)> &report,
                             const std::function<void(uint64_t id)> &retry,
                             const MediaLibraryHostInterface *libraryHost)
{
    IntakeResult result;
    for (const QUrl &url : addresses) {
        ItemPtr existing;
        const bool known = manager->findDownload(url, existing.receive()) && existing;
        if (!known)
            receiver->receiveURI(url);
        IntakeOutcome outcome;
        outcome.address = url;
        ItemPtr item;
        if (!manager->findDownload(url, item.receive()) || !item) {
            ++result.rejected;
            outcome.refusal = rejectionReason(url, libraryHost);
            report(outcome);
            continue;
        }
        outcome.id = item->id();
        outcome.title = item->title();
        // The same download named twice is one download.
        if (std::find(result.accepted.begin(), result.accepted.end(), outcome.id) == result.accepted.end())
            result.accepted.push_back(outcome.id);
        const DownloadStatusValue status = item->status();
        if (!known) {
            outcome.kind = IntakeOutcome::Kind::Queued;
        } else if (isRetryableStatus(status)) {
            outcome.kind = IntakeOutcome::Kind::Retrying;
        } else if (status == Completed) {
            outcome.kind = IntakeOutcome::Kind::AlreadyDownloaded;
            outcome.file = item->fileUrl();
            outcome.fileGone = !outcome.file.isLocalFile() || !QFileInfo::exists(outcome.file.toLocalFile());
            result.finishedBefore.push_back(outcome.id);
        } else {
            outcome.kind = IntakeOutcome::Kind::AlreadyQueued;
        }
        report(outcome);
        if (outcome.kind == IntakeOutcome::Kind::Retrying) {
            if (retry)
                retry(outcome.id);
            else
                manager->retryDownload(outcome.id);
        }
    }
    return result;
}

} // namespace Lumora::Host
