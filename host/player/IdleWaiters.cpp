#include "host/player/IdleWaiters.h"

#include "host/player/ExitCode.h"

namespace Lumora::Host {

void IdleWaiters::add(std::shared_ptr<CommandReply> reply)
{
    m_waiters.push_back({std::move(reply), ExitOk});
}

void IdleWaiters::failed(const FailureReason &reason)
{
    for (Waiter &waiter : m_waiters)
        waiter.code = combineExit(waiter.code, exitCodeForFailure(reason));
}

void IdleWaiters::answer(bool pending, bool paused)
{
    if (pending && !paused)
        return;
    for (const Waiter &waiter : m_waiters) {
        waiter.reply->message(pending ? QStringLiteral("the queue is paused") : QStringLiteral("the queue is idle"));
        waiter.reply->finish(waiter.code);
    }
    m_waiters.clear();
}

void IdleWaiters::handBack()
{
    for (const Waiter &waiter : m_waiters)
        waiter.reply->retryLater();
    m_waiters.clear();
}

} // namespace Lumora::Host
