#pragma once
// The one way a download's status changes. The manager's operations, its scheduler, the worker and
// a host editing the queue without a running player all come through changeStatus(), which stores
// the status, commits it, announces it and moves a finished item to the end of the queue exactly as
// the caller's route says, and writes "id: Old -> New" on the verbose channel.
//
// Routes differ because the library and the hub's subscribers rely on each caller's own commit
// points and announcements:
//
//   route     commits  announces (HubTopics::)                  refusal    finished items
//   Recorded  yes      MediaItemChanged, DownloadStatusChanged  stops all  moved to the end
//   Stored    yes      nothing                                  commits    stay
//   Marked    no       nothing                                  -          stay
//   Reported  no       MediaItemChanged                         announces  stay
//
// Recorded is the manager's status report (the scheduler's record of a run, the worker's reports).
// Stored: the worker's start of a transfer, resume-all, retry, play, move, and hosts without a
// player. Marked: pause-all, whose changes the scheduler commits when it records the stopped run.
// Reported: the worker's failure report. "refusal" says what happens when the item refuses the
// status: Recorded stops there; the others carry on with their commit or announcement, as they always
// have.

#include "plugin/DownloadStatus.h"
#include "plugin/MediaLibrary.h"

#include <cstdint>

namespace Lumora {

struct StatusRoute {
    bool commit;
    bool announceItem;
    bool announceStatus;
    bool stopOnRefusal;
    bool moveFinishedToEnd;
};

namespace StatusRoutes {
inline constexpr StatusRoute Recorded{true, true, true, true, true};
inline constexpr StatusRoute Stored{true, false, false, false, false};
inline constexpr StatusRoute Marked{false, false, false, false, false};
inline constexpr StatusRoute Reported{false, true, false, false, false};
} // namespace StatusRoutes

// Whoever keeps the queue's order: moves a finished item to the end and announces the list change.
class QueueOrderKeeper {
public:
    virtual void moveToEnd(MediaManagerInterface::QueuedFileInterface *item) = 0;

protected:
    ~QueueOrderKeeper() = default;
};

// True when the item took the status and, where the route commits, the commit succeeded. keeper may
// be null when the route moves nothing (or there is no queue to keep).
//
// The failure reason goes with the status: a Failed or Invalid item takes reason when one is given
// (and keeps the one its maker set on it otherwise); every other status clears it, so that a retried
// or restarted item carries no stale reason. The commit stores both.
bool changeStatus(MediaManagerInterface::QueuedFileInterface *item, DownloadStatusValue to, const StatusRoute &route,
                  QueueOrderKeeper *keeper = nullptr, const FailureReason *reason = nullptr);

} // namespace Lumora
