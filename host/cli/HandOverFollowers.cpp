#include "host/cli/HandOverFollowers.h"

#include "host/cli/CommandLine.h"

namespace Lumora::Cli {

HandOverFollowers::HandOverFollowers(ProgressView::Lookup items, ProgressView::Readings transfers)
    : m_items(std::move(items)), m_transfers(std::move(transfers))
{
}

void HandOverFollowers::follow(const std::vector<uint64_t> &ids, const std::vector<uint64_t> &finishedBefore,
                               std::shared_ptr<Host::CommandReply> reply, int refused)
{
    Follower follower{ids, std::move(reply), nullptr, refused};
    follower.view = std::make_unique<ProgressView>(*follower.reply, m_items, m_transfers);
    follower.view->follow(ids, finishedBefore);
    follower.view->start();
    m_followers.push_back(std::move(follower));
    settle();
}

void HandOverFollowers::itemChanged(uint64_t id, bool statusRecorded)
{
    for (Follower &follower : m_followers)
        follower.view->statusChanged(id, statusRecorded);
}

void HandOverFollowers::itemRemoved(uint64_t id)
{
    for (Follower &follower : m_followers)
        follower.view->itemRemoved(id);
    settle();
}

void HandOverFollowers::settle()
{
    const ItemLookup lookup = [this](uint64_t id) { return m_items(id); };
    for (auto it = m_followers.begin(); it != m_followers.end();) {
        if (!it->reply->isConnected()) {
            it = m_followers.erase(it);
            continue;
        }
        if (!allEnded(it->ids, lookup)) {
            ++it;
            continue;
        }
        it->view->stop();
        int code = reportOutcome(it->ids, lookup, *it->reply, false);
        if (it->refused)
            code = combineExit(code, ExitUsage);
        it->reply->finish(code);
        it = m_followers.erase(it);
    }
}

void HandOverFollowers::handBack()
{
    for (Follower &follower : m_followers) {
        follower.view->stop();
        follower.reply->message(QStringLiteral("the running player is stopping; your downloads stay queued and "
                                               "this lumora goes on with them"));
        follower.reply->retryLater();
    }
    m_followers.clear();
}

} // namespace Lumora::Cli
