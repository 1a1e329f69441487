#include "host/player/MainThread.h"

#include <QCoreApplication>
#include <QObject>

#include <deque>
#include <mutex>

namespace Lumora::Host::MainThread {

namespace {

class Runner : public QObject {
    Q_OBJECT
public:
    void post(std::function<void()> work)
    {
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(work));
            wake = !m_wakePending;
            m_wakePending = true;
        }
        // By name: Qt makes and frees the event itself, nothing of ours travels inside it.
        if (wake)
            QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    }

public slots:
    void drain()
    {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(m_mutex);
            batch.swap(m_queue);
            m_wakePending = false;
        }
        for (auto &work : batch)
            work();
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
    bool m_wakePending = false;
};

Runner *runner()
{
    // Made on the main thread by initialize(); a later first use elsewhere still works, handing the
    // runner to the main thread.
    static Runner *instance = [] {
        auto *r = new Runner;
        r->moveToThread(QCoreApplication::instance()->thread());
        return r;
    }();
    return instance;
}

} // namespace

void initialize()
{
    runner();
}

void post(std::function<void()> work)
{
    runner()->post(std::move(work));
}

void postIfAlive(const Liveness &alive, std::function<void()> work)
{
    post([alive, work = std::move(work)] {
        if (*alive)
            work();
    });
}

} // namespace Lumora::Host::MainThread

#include "MainThread.moc"
