#pragma once
// Commands another lumora hands to the player of the home: parsed, and dispatched through the
// command table to the command's handler in the running player (CommandSpec.h).

#include "host/player/InstanceChannel.h"
#include "host/player/Player.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

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

protected:
    ~RunningPlayer() = default;
};

// One handed-over command, on the main thread: a usage error is answered at once, a stopping player
// sends the asker back to try again, anything else goes to the command's handler.
void handOver(RunningPlayer &player, const QStringList &args, const QString &cwd,
              std::shared_ptr<Host::CommandReply> reply);

} // namespace Lumora::Cli
