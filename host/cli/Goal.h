#pragma once
// What a lumora that became the player of its home is there for: the goal of the command that
// started it (get: its addresses downloaded; run: the queue served; play: one download playing).
// The session runs the player and asks the goal what to make of it; each goal lives beside its
// command in commands/.
//
// Main thread only. Work a goal hands to the operation thread comes back through
// CliSession::toMainThread().

#include <cstdint>

namespace Lumora::Cli {

class CliSession;

class Goal {
public:
    virtual ~Goal() = default;
    // The player has started. The goal begins and calls session.watchIdle() once the queue's
    // being idle means something to it.
    virtual void start(CliSession &session) = 0;
    // An idle check's answer while the player is not stopping: downloads are still pending, and
    // whether the queue is paused.
    virtual void idle(CliSession &session, bool pending, bool paused) = 0;
    // The player program was started for a download (or could not be).
    virtual void played(CliSession &session, bool started) {}
    // A download ended, Completed or Failed (PlayerEvents::downloadEnded).
    virtual void ended(CliSession &session, uint64_t id, int32_t status) {}
    // The player has shut down: the goal's last lines, and the exit code.
    virtual int finish(CliSession &session) = 0;
};

} // namespace Lumora::Cli
