#pragma once
// One download as the Downloads window shows it: the item it stands for, and what was last read of
// it. Rows are read on the main thread from the item's attributes and its in-memory transfer state,
// both cheap reads under the item's own lock, never the download manager's.

#include "lmtl/RefCountedPtr.h"
#include "plugin/DownloadStatus.h"
#include "plugin/FailureReason.h"
#include "plugin/MediaLibrary.h"
#include "plugin/TransferState.h"

#include <QString>
#include <QUrl>

#include <cstdint>

namespace Lumora::Window {

using ItemPtr = lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>;

struct QueueRow {
    uint64_t id = 0;
    ItemPtr item;

    QString title;
    DownloadStatusValue status = Queued;
    bool partial = false;      // something of the download is kept: it goes on from there
    FailureReason failure;
    int32_t storedPercent = 0; // the item's own percent, committed by the worker
    uint64_t size = 0;         // 0 while unknown
    QUrl source;
    QUrl file;
    TransferState transfer;    // while it runs

    // Filled by the model from its speed meters; 0 when unknown.
    double bytesPerSecond = 0.0;
    uint64_t remainingMs = 0;

    // Reads every attribute of item into the row (the speed stays as it was).
    void read();
    // Only the transfer state; true when it changed.
    bool readTransfer();

    bool isRunning() const { return status == Downloading; }
    uint64_t knownSize() const { return size ? size : transfer.total; }
    // Bytes present: the transfer's count while it runs, the whole file once complete, the stored
    // percent of the size for a download that was stopped part way.
    uint64_t receivedBytes() const;
    // 0..100 for the bar.
    int percent() const;
};

} // namespace Lumora::Window
