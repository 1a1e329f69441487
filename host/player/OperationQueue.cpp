#include "host/player/OperationQueue.h"

namespace Lumora::Host {

OperationQueue::OperationQueue() : m_thread([this] { loop(); }) {}

OperationQueue::~OperationQueue()
{
    finish();
}

void OperationQueue::post(std::function<void()> operation)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_finishing)
            return;
        m_operations.push_back(std::move(operation));
    }
    m_wake.notify_one();
}

void OperationQueue::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable() && !onQueueThread())
        m_thread.join();
}

void OperationQueue::loop()
{
    for (;;) {
        std::function<void()> operation;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_finishing || !m_operations.empty(); });
            if (m_operations.empty())
                return;
            operation = std::move(m_operations.front());
            m_operations.pop_front();
        }
        operation();
    }
}

} // namespace Lumora::Host
