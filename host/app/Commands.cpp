#include "host/app/Commands.h"

#include "host/app/AppSettings.h"
#include "host/app/Format.h"
#include "host/app/QueueListing.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "host/medialibrary/MediaLibrary.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/AcceptedEndings.h"
#include "plugin/QueueRules.h"
#include "plugin/StatusTransition.h"

#include <QFileInfo>

#include <algorithm>

namespace Lumora::App {

namespace {

using ItemPtr = lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>;
using PlaylistPtr = lmtl::RefCountedPtr<MediaManagerInterface::PlaylistInterface>;

QString label(MediaManagerInterface::QueuedFileInterface *item)
{
    return QStringLiteral("[%1] %2").arg(item->id()).arg(item->title());
}

bool findItem(MediaManagerInterface::MediaManager *library, uint64_t id, ItemPtr *item, Output &output)
{
    if (library && library->getItem(id, item->receive()) && *item)
        return true;
    output.error(QStringLiteral("lumora: there is no download %1 (see \"lumora list\")").arg(id));
    return false;
}

PlaylistPtr queueOf(MediaManagerInterface::MediaManager *library)
{
    PlaylistPtr playlist;
    if (library)
        library->getPlaylist(MediaManagerInterface::DownloadPlaylistKind, 0, 0, playlist.receive());
    return playlist;
}

int listQueue(const Invocation &invocation, MediaManagerInterface::MediaManager *library, Output &output)
{
    const PlaylistPtr playlist = queueOf(library);
    const std::vector<QueueRow> rows = readQueue(playlist.get());
    output.data(invocation.json ? queueJson(rows) : queueTable(rows));
    return ExitOk;
}

QString rejectionReason(const QUrl &url)
{
    if (!AcceptedEndings::accepts(url))
        return QStringLiteral("not a video file the download manager takes (accepted extensions: %1; letter case counts)")
            .arg(AcceptedEndings::endings().join(QStringLiteral(", ")));
    return QStringLiteral("the download manager did not queue it (the media library refused a new item)");
}

} // namespace

bool checkAddress(const QString &text, QUrl *url, QString *reason)
{
    const QUrl parsed(text, QUrl::StrictMode);
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
    } else if (scheme != QLatin1String("file")) {
        // The download manager declares http and file; its engine also speaks https. Anything else
        // would be queued and then fail, so it is refused here, where the user can still fix it.
        *reason = QStringLiteral("lumora downloads http, https and file addresses, not %1").arg(scheme);
        return false;
    }
    *url = parsed;
    return true;
}

IntakeResult intakeAddresses(const std::vector<QUrl> &addresses, URIReceiver *receiver,
                             DownloadManagerInterface *manager, Output &output)
{
    IntakeResult result;
    for (const QUrl &url : addresses) {
        ItemPtr existing;
        const bool known = manager->findDownload(url, existing.receive()) && existing;
        if (!known)
            receiver->receiveURI(url);
        ItemPtr item;
        if (!manager->findDownload(url, item.receive()) || !item) {
            ++result.rejected;
            output.error(QStringLiteral("lumora: refused %1: %2").arg(maskedAddress(url), rejectionReason(url)));
            continue;
        }
        result.accepted.push_back(item->id());
        const DownloadStatusValue status = item->status();
        if (!known) {
            output.message(QStringLiteral("queued      %1").arg(label(item.get())));
        } else if (isRetryableStatus(status)) {
            output.message(QStringLiteral("retrying    %1").arg(label(item.get())));
            manager->retryDownload(item->id());
        } else if (status == Completed) {
            const QString file = displayFile(item->fileUrl());
            const bool present = item->fileUrl().isLocalFile() && QFileInfo::exists(item->fileUrl().toLocalFile());
            output.message(QStringLiteral("already downloaded %1 -> %2%3")
                               .arg(label(item.get()), file,
                                    present ? QString()
                                            : QStringLiteral(" (the file is gone: \"lumora remove %1\" and get it again)")
                                                  .arg(item->id())));
        } else {
            output.message(QStringLiteral("already queued %1").arg(label(item.get())));
        }
    }
    return result;
}

int runLiveCommand(const Invocation &invocation, DownloadManagerInterface *manager,
                   MediaManagerInterface::MediaManager *library, Output &output)
{
    ItemPtr item;
    switch (invocation.command) {
    case Command::List:
        return listQueue(invocation, library, output);
    case Command::Pause:
        if (manager->isPaused()) {
            output.message(QStringLiteral("already paused"));
        } else {
            manager->pauseAll();
            output.message(QStringLiteral("paused: the running download is kept and goes on after \"lumora resume\""));
        }
        return ExitOk;
    case Command::Resume:
        if (!manager->isPaused()) {
            output.message(QStringLiteral("not paused"));
        } else {
            manager->resumeAll();
            output.message(QStringLiteral("resumed"));
        }
        return ExitOk;
    case Command::Stop:
        manager->stopCurrentDownload();
        output.message(QStringLiteral("stopped the running download; it is queued again"));
        return ExitOk;
    case Command::Clear: {
        const std::vector<QueueRow> before = readQueue(queueOf(library).get());
        const auto completed = std::count_if(before.begin(), before.end(), [](const QueueRow &r) { return r.status == Completed; });
        manager->clearCompletedDownloads();
        output.message(QStringLiteral("removed %1 completed download(s) from the queue; their files stay").arg(completed));
        return ExitOk;
    }
    case Command::Retry: {
        if (!findItem(library, invocation.id, &item, output))
            return ExitFailed;
        const DownloadStatusValue status = item->status();
        if (!isRetryableStatus(status)) {
            output.error(QStringLiteral("lumora: download %1 is %2; only a failed download can be retried")
                             .arg(label(item.get()), statusName(status)));
            return ExitFailed;
        }
        manager->retryDownload(invocation.id);
        output.message(QStringLiteral("retrying %1").arg(label(item.get())));
        return ExitOk;
    }
    case Command::Remove: {
        if (!findItem(library, invocation.id, &item, output))
            return ExitFailed;
        const QString what = label(item.get());
        // The download manager stops a download that is removed while it runs.
        if (!manager->removeDownload(invocation.id)) {
            output.error(QStringLiteral("lumora: could not remove %1").arg(what));
            return ExitFailed;
        }
        output.message(QStringLiteral("removed %1").arg(what));
        return ExitOk;
    }
    case Command::Move: {
        if (!findItem(library, invocation.id, &item, output))
            return ExitFailed;
        if (!manager->moveDownload(invocation.id, invocation.position)) {
            output.error(QStringLiteral("lumora: could not move %1").arg(label(item.get())));
            return ExitFailed;
        }
        output.message(invocation.position < 0 ? QStringLiteral("moved %1 to the end").arg(label(item.get()))
                                                : QStringLiteral("moved %1 to position %2").arg(label(item.get())).arg(invocation.position));
        return ExitOk;
    }
    case Command::Play: {
        if (!findItem(library, invocation.id, &item, output))
            return ExitFailed;
        if (manager->playDownload(invocation.id)) {
            output.message(QStringLiteral("playing %1").arg(label(item.get())));
            return ExitOk;
        }
        if (item->status() != Completed && item->status() != Failed && item->progress() < PlayThresholdPercent) {
            output.message(QStringLiteral("%1 plays once %2% of it has arrived").arg(label(item.get())).arg(PlayThresholdPercent));
            return ExitOk;
        }
        output.error(QStringLiteral("lumora: could not play %1").arg(label(item.get())));
        return ExitFailed;
    }
    default:
        output.error(QStringLiteral("lumora: this command does not run inside a player"));
        return ExitUsage;
    }
}

int runDirectCommand(const Invocation &invocation, Output &output)
{
    switch (invocation.command) {
    case Command::Pause:
    case Command::Resume:
    case Command::Stop:
        output.message(QStringLiteral("no lumora is downloading for this home: nothing to %1")
                           .arg(invocation.command == Command::Pause    ? QStringLiteral("pause")
                                : invocation.command == Command::Resume ? QStringLiteral("resume")
                                                                        : QStringLiteral("stop")));
        return ExitOk;
    default:
        break;
    }

    LibraryOpenOptions options;
    options.databasePath = OSUtilities::libraryDatabasePath();
    options.readOnly = invocation.command == Command::List;
    if (options.readOnly && !QFileInfo::exists(options.databasePath)) {
        // Nothing was ever queued on this home; listing must not create a library.
        output.data(invocation.json ? queueJson({}) : queueTable({}));
        return ExitOk;
    }
    QString error;
    std::unique_ptr<MediaLibrary> library = MediaLibrary::open(options, &error);
    if (!library) {
        output.error(QStringLiteral("lumora: cannot open the library %1: %2").arg(options.databasePath, error));
        return ExitFailed;
    }

    ItemPtr item;
    const PlaylistPtr playlist = queueOf(library.get());
    switch (invocation.command) {
    case Command::List:
        return listQueue(invocation, library.get(), output);
    case Command::Clear: {
        const std::vector<ItemPtr> completed = QueueRules::completedForClearing(playlist.get());
        int removed = 0;
        for (const ItemPtr &entry : completed)
            removed += entry->remove() ? 1 : 0;
        output.message(QStringLiteral("removed %1 completed download(s) from the queue; their files stay").arg(removed));
        return removed == static_cast<int>(completed.size()) ? ExitOk : ExitFailed;
    }
    case Command::Retry: {
        if (!findItem(library.get(), invocation.id, &item, output))
            return ExitFailed;
        const DownloadStatusValue status = item->status();
        if (!isRetryableStatus(status)) {
            output.error(QStringLiteral("lumora: download %1 is %2; only a failed download can be retried")
                             .arg(label(item.get()), statusName(status)));
            return ExitFailed;
        }
        if (!changeStatus(item.get(), Queued, StatusRoutes::Stored) || !playlist || !playlist->moveItem(0, item->id())) {
            output.error(QStringLiteral("lumora: could not queue %1 again").arg(label(item.get())));
            return ExitFailed;
        }
        output.message(QStringLiteral("queued %1 again, at the head; it starts with the next \"lumora run\"").arg(label(item.get())));
        return ExitOk;
    }
    case Command::Remove: {
        if (!findItem(library.get(), invocation.id, &item, output))
            return ExitFailed;
        const QString what = label(item.get());
        if (!item->remove()) {
            output.error(QStringLiteral("lumora: could not remove %1").arg(what));
            return ExitFailed;
        }
        output.message(QStringLiteral("removed %1").arg(what));
        return ExitOk;
    }
    case Command::Move: {
        if (!findItem(library.get(), invocation.id, &item, output))
            return ExitFailed;
        if (!playlist || !playlist->moveItem(QueueRules::resolvePosition(playlist.get(), invocation.position), item->id())) {
            output.error(QStringLiteral("lumora: could not move %1").arg(label(item.get())));
            return ExitFailed;
        }
        output.message(invocation.position < 0 ? QStringLiteral("moved %1 to the end").arg(label(item.get()))
                                                : QStringLiteral("moved %1 to position %2").arg(label(item.get())).arg(invocation.position));
        return ExitOk;
    }
    default:
        output.error(QStringLiteral("lumora: this command needs a running player"));
        return ExitUsage;
    }
}

int runConfigCommand(const Invocation &invocation, const QString &baseDirectory, Output &output, bool *mediaFolderChanged)
{
    if (mediaFolderChanged)
        *mediaFolderChanged = false;
    QString error;
    if (invocation.command == Command::ConfigSet) {
        bool usageError = false;
        if (!AppSettings::set(invocation.settingName, invocation.settingValue, baseDirectory, &error, &usageError)) {
            output.error(QStringLiteral("lumora: ") + error);
            return usageError ? ExitUsage : ExitFailed;
        }
        if (mediaFolderChanged)
            *mediaFolderChanged = invocation.settingName == QLatin1String(SettingKeys::MediaFolder);
        AppSettings::Value value;
        AppSettings::get(invocation.settingName, &value, nullptr);
        output.message(QStringLiteral("%1 = %2%3").arg(invocation.settingName, value.text,
                                                       value.isDefault ? QStringLiteral(" (default)") : QString()));
        return ExitOk;
    }

    if (!invocation.settingName.isEmpty()) {
        // One setting: its value alone, for scripts.
        AppSettings::Value value;
        if (!AppSettings::get(invocation.settingName, &value, &error)) {
            output.error(QStringLiteral("lumora: ") + error);
            return ExitFailed;
        }
        output.data(value.text + '\n');
        return ExitOk;
    }
    QString text;
    for (const char *name : {SettingKeys::MediaFolder, SettingKeys::ResumeDownloadsOnStartup}) {
        AppSettings::Value value;
        AppSettings::get(QLatin1String(name), &value, nullptr);
        text += QStringLiteral("%1 = %2%3\n").arg(QLatin1String(name), value.text,
                                                  value.isDefault ? QStringLiteral(" (default)") : QString());
    }
    output.data(text);
    return ExitOk;
}

} // namespace Lumora::App
