#pragma once
// The download queue as `lumora list` shows it: head first, one row per download.

#include "host/player/TransferMeters.h"
#include "plugin/FailureReason.h"
#include "plugin/MediaLibrary.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace Lumora::Cli {

struct QueueRow {
    uint64_t id = 0;
    DownloadStatusValue status = 0;
    int32_t progress = 0;
    uint64_t size = 0;
    QString title;
    QUrl source;
    QUrl file;
    // Bytes of the file present: the running transfer's count, else what the percentage says.
    uint64_t received = 0;
    // The running transfer's speed (bytes per second) and time left; empty when it does not run or
    // they are not known yet.
    std::optional<double> speed;
    std::optional<uint64_t> remainingMs;
    int64_t addedAt = 0;     // milliseconds since the epoch; 0 when unknown
    int64_t finishedAt = 0;  // when it last completed or failed; 0 when it has not
    FailureReason failure;   // why it failed (Failed only)
    // Left Downloading or Active by a player that is gone: it is queued and goes on at the next run.
    bool interrupted = false;
};

using TransferLookup = std::function<std::optional<Host::TransferReading>(uint64_t id)>;

// Reads the playlist head first. transfers gives the running downloads' readings (a running
// player); without a running player (playerRuns false), a download still marked as running was
// interrupted and is shown queued. An item that goes away during the walk (another thread removing
// it) ends the walk there.
std::vector<QueueRow> readQueue(MediaManagerInterface::PlaylistInterface *playlist, const TransferLookup &transfers = {},
                                bool playerRuns = true);
QueueRow rowOf(MediaManagerInterface::QueuedFileInterface *item, const TransferLookup &transfers = {},
               bool playerRuns = true);

// One JSON array; each element has id, status, progress, size, received, speed and eta (seconds;
// null unless it runs), added and finished (UTC, ISO 8601; null when not known), title, source
// (credentials masked), file (a local path, empty until the download has a target), interrupted,
// and for a failed download error: {kind, message, httpStatus}. Ends with a newline.
QString queueJson(const std::vector<QueueRow> &rows);
// Aligned columns with a header line, the short reason beside a failed status; a note when the
// queue is empty.
QString queueTable(const std::vector<QueueRow> &rows);

} // namespace Lumora::Cli
