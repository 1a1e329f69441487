#pragma once
// Status of a queued download, as the media library stores it on each item.

#include <cstdint>

namespace Lumora {

using DownloadStatusValue = int32_t;

enum DownloadStatus : DownloadStatusValue {
    Queued = 1,       // eligible to start
    Active = 2,       // eligible; written by other components
    Downloading = 3,  // the transfer is running
    Completed = 4,    // finished; kept at the end of the queue
    Interrupted = 5,  // a run's result only, recorded as Queued, never stored
    Failed = 6,       // finished without the file; retryable
    Waiting = 7,      // eligible, but blocks the queue while it is the first eligible item
    Invalid = 8,      // a run without an item; retryable
};

inline bool isEligibleStatus(DownloadStatusValue s) { return s == Queued || s == Active || s == Downloading || s == Waiting; }
inline bool isActiveStatus(DownloadStatusValue s) { return s == Active || s == Downloading || s == Waiting; }
inline bool isFinishedStatus(DownloadStatusValue s) { return s == Completed || s == Failed; }

// A short lower-case name for display ("queued", "downloading", ...); "unknown" outside 1..8.
const char *downloadStatusName(DownloadStatusValue s);

} // namespace Lumora
