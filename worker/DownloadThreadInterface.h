#pragma once
// The download worker as the manager drives it. download() runs one download on the calling thread
// (the scheduler's) and returns its final status; the other operations come from host threads.

#include "plugin/DownloadManagerInterface.h"
#include "plugin/DownloadStatus.h"
#include "plugin/MediaLibrary.h"

#include <QUrl>

#include <vector>

namespace Lumora {

class DownloadListener;

class DownloadThreadInterface {
public:
    using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;

    virtual ~DownloadThreadInterface() = default;
    // The item of the running (or last) download, with one reference for the caller; always true.
    virtual bool getCurrentItem(QueuedFileInterface **out) = 0;
    // Completed, Failed, Queued (stopped) or Invalid (no item).
    virtual DownloadStatusValue download(QueuedFileInterface *item) = 0;
    // The address the scheduler expects to start after the next download() (empty: none), so that
    // the worker may get ready for it while that download transfers. On the scheduler's thread just
    // before download(), and from any thread while a download runs when what follows it changes; a
    // hint only.
    virtual void expectNext(const QUrl &source) { (void)source; }
    // Stops the running download and waits for the worker to let go of it.
    virtual void stopAndWait() = 0;
    virtual void setManager(DownloadManagerInterface *manager, DownloadListener *listener) = 0;
    // Asks the running download to end as Queued within one polling period; returns at once.
    virtual void requestStop(QueuedFileInterface *item) = 0;
    // Finishes what a crash interrupted: an item that still holds its engine output
    // (pendingFinish) is placed, handed to the library and committed, or queued to download again
    // when nothing is left to finish with. Before the scheduler's first pass, on the host's thread.
    virtual void finishInterrupted(QueuedFileInterface *item) = 0;
    // Removes the partial data the engine keeps of source (a download that left the queue).
    virtual void discardPartial(const QUrl &source) = 0;
    // Removes partial files that none of the queue's sources can resume from and that have not
    // changed for a long time (an older crash, a download removed by an older version).
    virtual void cleanStrayParts(const std::vector<QUrl> &queueSources) = 0;
};

} // namespace Lumora
