#pragma once
// Commands another lumora hands to the player of the home: parsed, and dispatched through the
// command table to the command's handler in the running player (CommandDefinition.h).

#include "host/player/InstanceChannel.h"
#include "host/player/Player.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace Lumora::Cli {

// What a handed-over command reaches of the player it was handed to. Main thread.
class RunningPlayer {
public:
    virtual bool stopping() const = 0;
    // Runs operation on the player's operation thread; whenDown instead once its download manager is
    // shut down.
    virtual void submit(Host::Player::Operation operation, std::function<void()> whenDown) = 0;
    // The settings name another media folder now.
    virtual void applyMediaFolder() = 0;
    // Answers reply once the queue is idle or paused (or asks the asker to retry when the player
    // stops first).
    virtual void waitForIdle(std::shared_ptr<Host::CommandReply> reply) = 0;
    // Any thread. Shows the progress of these downloads to the asker and answers reply once they
    // have all ended, with their exit status (combined with a usage error when refused addresses
    // were left out). finishedBefore: those the asker was told of as downloaded already; any other
    // that ended before the following began still gets its line. A stopping player sends the asker
    // back to try again.
    virtual void follow(std::vector<uint64_t> ids, std::vector<uint64_t> finishedBefore,
                        std::shared_ptr<Host::CommandReply> reply, int refused) = 0;
    // Any thread. A line on the running player's own output, about what was handed to it.
    virtual void tell(const QString &line) = 0;

protected:
    ~RunningPlayer() = default;
};

// The askers that follow their handed-over downloads (HandOverFollowers.h). A face that serves the
// channel keeps one and feeds it the player's events. Main thread.
class DownloadFollowers {
public:
    virtual ~DownloadFollowers() = default;
    // refused: addresses of the command that were refused (its status then tells a usage error too).
    virtual void follow(const std::vector<uint64_t> &ids, const std::vector<uint64_t> &finishedBefore,
                        std::shared_ptr<Host::CommandReply> reply, int refused) = 0;
    virtual void itemChanged(uint64_t id, bool statusRecorded) = 0;
    virtual void itemRemoved(uint64_t id) = 0;
    // Ends the followers whose downloads have all ended, and forgets those whose asker went away.
    virtual void settle() = 0;
    // The player is stopping: every asker goes on with its downloads itself.
    virtual void handBack() = 0;
    virtual void clear() = 0;
};

// One handed-over command, on the main thread: a usage error is answered at once, a stopping player
// sends the asker back to try again, anything else goes to the command's handler.
void handOver(RunningPlayer &player, const QStringList &args, const QString &cwd,
              std::shared_ptr<Host::CommandReply> reply);

} // namespace Lumora::Cli
