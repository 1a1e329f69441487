#pragma once
// One thread that makes every call into the download manager, one after the other.
//
// Several of the manager's operations wait for the running download to let go (pause, stop, move,
// retry, shutdown) and the play operation waits for the scheduler to start an item; none of that
// may block the main thread, whose event loop serves the other lumora commands, the signals and the
// progress display. Keeping all manager calls on one thread also keeps handed-over commands in the
// order they arrived.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace Lumora::Host {

class OperationQueue {
public:
    OperationQueue();
    ~OperationQueue();  // runs what is queued, then joins
    OperationQueue(const OperationQueue &) = delete;
    OperationQueue &operator=(const OperationQueue &) = delete;

    void post(std::function<void()> operation);
    // Runs what is queued and ends the thread; later posts are dropped.
    void finish();
    bool onQueueThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_operations;
    bool m_finishing = false;
    std::thread m_thread;
};

} // namespace Lumora::Host
