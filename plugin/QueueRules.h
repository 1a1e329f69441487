#pragma once
// The rules of the download queue, for everyone who edits it: the download manager (under its own
// locks) and a host changing the queue while no player runs. The queue is the library's download
// playlist; index 0 is the head.
//
//   - Work is taken in index order: the first eligible item (Queued, Active, Downloading, Waiting).
//   - A new item goes in front of the trailing run of finished items (Completed, Failed).
//   - Finished items move to the end as they finish (StatusTransition.h).
//   - Clearing removes the Completed items, from the last one to the first.
//   - A move to a negative position is a move to the end.
//   - Only a Failed or Invalid item is retried; a retried item is Queued at the head.
//
// Nothing here takes a lock: the caller holds whatever its queue needs.

#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace Lumora::QueueRules {

using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;
using PlaylistInterface = MediaManagerInterface::PlaylistInterface;
using ItemPtr = lmtl::RefCountedPtr<QueuedFileInterface>;

// Calls visit(index, item) in queue order until it returns false. The count is read once; the first
// fetch that fails ends the walk. Each item is held only while it is visited.
void walk(PlaylistInterface *playlist, const std::function<bool(int64_t, QueuedFileInterface *)> &visit);

// The first item visit accepts, with a reference; null when none does.
ItemPtr find(PlaylistInterface *playlist, const std::function<bool(QueuedFileInterface *)> &accept);

// The item the scheduler starts next: the first eligible one. A Waiting item found here blocks the
// queue: nothing behind it starts.
ItemPtr firstEligible(PlaylistInterface *playlist);

// The item expected to start once the one with this identifier has run: the first eligible item
// besides it; null when there is none or when it is Waiting (nothing can be known of it yet).
ItemPtr eligibleAfter(PlaylistInterface *playlist, uint64_t runningId);

// Where a new item with this identifier goes: just after the last item that is neither finished nor
// the item itself; 0 when every item is. Nothing when a fetch fails on the way.
std::optional<int64_t> insertionPoint(PlaylistInterface *playlist, uint64_t newId);

// The Completed items in the order clearing removes them: from the last to the first.
std::vector<ItemPtr> completedForClearing(PlaylistInterface *playlist);

// The position a move to position means: a negative one is the end (the count).
int64_t resolvePosition(PlaylistInterface *playlist, int64_t position);

} // namespace Lumora::QueueRules
