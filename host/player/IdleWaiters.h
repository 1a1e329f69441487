#pragma once
// Handed-over "run --until-idle" commands, waiting for the queue of the player they were handed to
// to be idle: each ends once nothing more happens by itself (nothing pending, or the queue paused),
// with the status of the downloads that failed while it waited. Every face keeps its waiters here,
// so that the same command ends alike whichever face is the player. Main thread only.

#include "host/player/InstanceChannel.h"
#include "plugin/FailureReason.h"

#include <memory>
#include <vector>

namespace Lumora::Host {

class IdleWaiters {
public:
    void add(std::shared_ptr<CommandReply> reply);
    bool empty() const { return m_waiters.empty(); }
    // A download failed while they waited.
    void failed(const FailureReason &reason);
    // An idle check's answer: every waiter ends when the queue is idle or paused.
    void answer(bool pending, bool paused);
    // The player stops: each asker is sent back to try again once it has gone.
    void handBack();

private:
    struct Waiter {
        std::shared_ptr<CommandReply> reply;
        int code = 0;
    };
    std::vector<Waiter> m_waiters;
};

} // namespace Lumora::Host
