#pragma once
// The download manager as the host, other plugins and its own worker see it
// (VSE::InterfaceNames::downloadManager()).
//
// Host threads call it to add, pause, resume, stop, retry, play, reorder, remove and clear downloads;
// the worker reports size, target, progress and status through it from the scheduler thread.
// Announcements (HubTopics::, plugin/Topics.h) go out on the calling thread, after the change; each operation
// below says what it commits and what it announces, and three of the item setters announce nothing.
// Item arguments are kept alive by the caller for the call; identifiers are the library's 64-bit
// identifiers. Every operation answers its failure value, touching nothing, when the plugin was
// built without a media library or download playlist.

#include "host/lmrlibrary/DownloadInfo.h"
#include "plugin/DownloadStatus.h"
#include "plugin/MediaLibrary.h"

#include <QString>
#include <QUrl>

#include <cstdint>

namespace Lumora {

class DownloadListener;

class DownloadManagerInterface {
public:
    using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;
    using PlaylistInterface = MediaManagerInterface::PlaylistInterface;

    // Deletes the whole plugin object.
    virtual ~DownloadManagerInterface() = default;

    // Keeps the host's listener (disk-space shortage, failures) and hands it to the worker.
    virtual void setDownloadListener(DownloadListener *listener) = 0;
    // Looks the address up in the queue, ignoring user name and password. Takes no lock.
    virtual bool findDownload(const QUrl &url, QueuedFileInterface **out) = 0;
    // Queues a new download when its address ends in an accepted ending (plugin/AcceptedEndings.h):
    // creates and commits the item, inserts it before the trailing finished items, lifts a pause,
    // then announces MediaListChanged, the pause's change when there was one, and
    // ShowDownload. out (may be null) receives the item with one reference.
    virtual bool addDownload(QueuedFileInterface **out, const QUrl &url, const QString &title,
                             const QString &description) = 0;
    // Stores and commits the status, announces MediaItemChanged then DownloadStatusChanged,
    // and moves a Completed or Failed item to the end (MediaListChanged). False, announcing
    // nothing, when the item refuses the status or the commit.
    virtual bool setDownloadStatus(QueuedFileInterface *item, DownloadStatusValue status) = 0;
    // Set, commit, then MediaItemChanged; false when either step fails.
    virtual bool setDownloadFile(QueuedFileInterface *item, const QUrl &fileUrl) = 0;
    virtual bool setDownloadSize(QueuedFileInterface *item, uint64_t bytes) = 0;
    // Also updates the remaining-time estimate (its process-wide smoothing is reset at 0 and 100).
    virtual bool setDownloadProgress(QueuedFileInterface *item, int32_t percent) = 0;
    // Set without a commit, then MediaItemChanged.
    virtual bool setDownloadCounter(QueuedFileInterface *item, int32_t counter) = 0;
    // Set and commit; announces nothing.
    virtual bool setDownloadOption(QueuedFileInterface *item, int32_t option) = 0;
    // Set without a commit; announces nothing.
    virtual bool setDownloadInfo(QueuedFileInterface *item, DownloadInfo info) = 0;
    // Set without a commit, then MediaItemChanged (PlayableFlag: the item can be played).
    virtual bool setDownloadFlag(QueuedFileInterface *item, int32_t flag) = 0;
    // Set without a commit; announces nothing.
    virtual bool setDownloadPair(QueuedFileInterface *item, int32_t first, int32_t second) = 0;
    // The manager-wide pause. Takes no lock.
    virtual bool isPaused() = 0;
    // Whether an item is Queued, Active, Downloading or Waiting; whether one is Completed.
    virtual bool hasPendingDownloads() = 0;
    virtual bool hasCompletedDownloads() = 0;
    // Stops the running download, marks active items Queued (committed when the stopped run is
    // recorded), then MediaListChanged and DownloadStatusPaused true. Nothing when paused.
    virtual void pauseAll() = 0;
    // Commits active items as Queued, lifts the pause, then MediaListChanged and
    // DownloadStatusPaused false. Nothing when not paused.
    virtual void resumeAll() = 0;
    // Stops the running download; it ends Queued and goes on at its next start. Announces nothing.
    virtual void stopCurrentDownload() = 0;
    // Removes the Completed items (last first), MediaItemRemoved for each before it goes, then
    // one MediaListChanged. Their files stay.
    virtual void clearCompletedDownloads() = 0;
    // Stops the download when it runs, MediaItemRemoved, removes it, MediaListChanged.
    virtual bool removeDownload(uint64_t id) = 0;
    // A Failed or Invalid item is committed Queued and put at the head, through a pause and a
    // resume (with their announcements); anything else is left alone.
    virtual void retryDownload(uint64_t id) = 0;
    // Plays the finished file, or the source while the download runs once enough has arrived
    // (PlayThresholdPercent); an item that is neither is put at the head and, when too little has
    // arrived, marked to play once enough has. True when playback was handed to the player.
    virtual bool playDownload(uint64_t id) = 0;
    // Moves the item (a negative position means the end), then MediaListChanged when it moved.
    // A move to the head, or of the head, stops the running download first.
    virtual bool moveDownload(uint64_t id, int64_t position) = 0;
    // Replaces the download playlist the manager works on; null is allowed. Announces nothing.
    virtual void setDownloadPlaylist(PlaylistInterface *playlist) = 0;
};

} // namespace Lumora
