#pragma once
// The askers that follow their handed-over downloads (a "lumora get" typed while a player runs): each
// sees the progress of its own downloads, relayed over the channel, and is answered with their exit
// status once they have all ended. Any face that serves the channel (the command line, the window)
// keeps one and feeds it the player's events. Main thread.

#include "host/cli/DownloadOutcome.h"
#include "host/cli/HandOver.h"
#include "host/cli/ProgressView.h"
#include "host/player/InstanceChannel.h"

#include <functional>
#include <memory>
#include <vector>

namespace Lumora::Cli {

class HandOverFollowers : public DownloadFollowers {
public:
    HandOverFollowers(ProgressView::Lookup items, ProgressView::Readings transfers);

    void follow(const std::vector<uint64_t> &ids, const std::vector<uint64_t> &finishedBefore,
                std::shared_ptr<Host::CommandReply> reply, int refused) override;
    void itemChanged(uint64_t id, bool statusRecorded) override;
    void itemRemoved(uint64_t id) override;
    void settle() override;
    void handBack() override;
    void clear() override { m_followers.clear(); }

private:
    struct Follower {
        std::vector<uint64_t> ids;
        std::shared_ptr<Host::CommandReply> reply;
        std::unique_ptr<ProgressView> view;
        int refused = 0;
    };

    ProgressView::Lookup m_items;
    ProgressView::Readings m_transfers;
    std::vector<Follower> m_followers;
};

} // namespace Lumora::Cli
