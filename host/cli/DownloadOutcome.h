#pragma once
// How a command that asked for downloads ends: one line that says how many completed, and the exit
// status their failures' reasons stand for (host/player/ExitCode.h). Used by a get that runs the
// player itself and by one handed over to a running player, so both end alike.

#include "host/player/Output.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace Lumora::Cli {

using ItemLookup = std::function<lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>(uint64_t id)>;

// Whether every download has ended (completed, failed, or gone from the queue).
bool allEnded(const std::vector<uint64_t> &ids, const ItemLookup &lookup);

// Says how the downloads ended and returns the exit status: 0 when all completed, else the status
// of their failures' kinds combined (1 for a download that did not end, or failed for no named
// reason). stopped: the player was stopped before they ended; they stay queued.
int reportOutcome(const std::vector<uint64_t> &ids, const ItemLookup &lookup, Host::Output &output, bool stopped);

} // namespace Lumora::Cli
