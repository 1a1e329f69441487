#pragma once
// Status of a queued download, as the media library stores it on each item, with the names people
// see and the few numbers every part of the player agrees on.

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
inline bool isRetryableStatus(DownloadStatusValue s) { return s == Failed || s == Invalid; }

// The name people see: "Queued", "Downloading", "Completed", ...; "Unknown" outside 1..8.
const char *downloadStatusName(DownloadStatusValue s);

// Playback of a download may start once more than this share of it has arrived.
inline constexpr int32_t PlayThresholdPercent = 5;

// The flag the worker sets on an item (setDownloadFlag) once it can be played: enough has arrived,
// or the file is complete and in the library.
inline constexpr int32_t PlayableFlag = 1;

} // namespace Lumora
