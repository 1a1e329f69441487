#pragma once
// Reads the download queue's order off the main thread. The library's lock may be held by a write
// (the scheduler committing a status, a reorder of thousands of rows), and the window must not wait
// for it: the playlist is walked on a thread of its own and the items come back to the main thread,
// where the model reads them.
//
// Requests that come while a read is under way are folded into one more read after it, so a burst of
// list changes costs at most two walks. Made and used on the main thread; finish() before the
// library goes.

#include "host/player/MainThread.h"
#include "host/player/OperationQueue.h"
#include "host/window/QueueRow.h"

#include <functional>
#include <memory>
#include <vector>

namespace Lumora::Window {

class QueueReader {
public:
    using Deliver = std::function<void(std::vector<ItemPtr> queue)>;

    // deliver runs on the main thread with the queue, head first.
    QueueReader(MediaManagerInterface::MediaManager *library, Deliver deliver);
    ~QueueReader();
    QueueReader(const QueueReader &) = delete;
    QueueReader &operator=(const QueueReader &) = delete;

    void request();
    // Waits for a read under way; nothing is delivered afterwards.
    void finish();

    // The queue as the playlist holds it now, read on the calling thread.
    static std::vector<ItemPtr> readQueue(MediaManagerInterface::MediaManager *library);

private:
    void readNow();
    void delivered(std::vector<ItemPtr> queue);

    Host::MainThread::Liveness m_alive = Host::MainThread::makeLiveness();
    MediaManagerInterface::MediaManager *m_library;
    Deliver m_deliver;
    std::unique_ptr<Host::OperationQueue> m_thread;
    bool m_reading = false;  // main thread
    bool m_again = false;    // main thread
};

} // namespace Lumora::Window
