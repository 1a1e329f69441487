#pragma once
// A scripted download worker for the manager's tests. download() runs the script (default: the
// download completes at once); a blocking script can wait for a stop request.

#include "lmtl/RefCountedPtr.h"
#include "worker/DownloadThreadInterface.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace LumoraTest {

class FakeDownloadThread : public Lumora::DownloadThreadInterface {
public:
    using Script = std::function<Lumora::DownloadStatusValue(QueuedFileInterface *, FakeDownloadThread &)>;

    bool getCurrentItem(QueuedFileInterface **out) override
    {
        if (out) {
            std::lock_guard lock(m_mutex);
            *out = m_current.get();
            if (*out)
                (*out)->retain();
        }
        return true;
    }

    Lumora::DownloadStatusValue download(QueuedFileInterface *item) override
    {
        if (!item)
            return Lumora::Invalid;
        {
            std::lock_guard lock(m_mutex);
            m_current.reset(item);
        }
        stopRequested = false;
        ++downloads;
        running = true;
        Script s;
        {
            std::lock_guard lock(m_mutex);
            s = script;
        }
        const Lumora::DownloadStatusValue result = s ? s(item, *this) : Lumora::Completed;
        running = false;
        return result;
    }

    void expectNext(const QUrl &source) override
    {
        std::lock_guard lock(m_mutex);
        expectedNext.push_back(source);
    }
    std::vector<QUrl> expectedNextHints()
    {
        std::lock_guard lock(m_mutex);
        return expectedNext;
    }

    void finishInterrupted(QueuedFileInterface *item) override { interruptedFinishes.push_back(item->id()); }
    void discardPartial(const QUrl &source) override
    {
        std::lock_guard lock(m_mutex);
        discarded.push_back(source);
    }
    void cleanStrayParts(const std::vector<QUrl> &sources) override { strayCleaningSources = sources; }

    void stopAndWait() override
    {
        ++stopAndWaits;
        stopRequested = true;
    }

    void setManager(Lumora::DownloadManagerInterface *m, Lumora::DownloadListener *l) override
    {
        manager = m;
        listener = l;
    }

    void requestStop(QueuedFileInterface *) override
    {
        ++requestStops;
        stopRequested = true;
    }

    void setScript(Script s)
    {
        std::lock_guard lock(m_mutex);
        script = std::move(s);
    }

    // A script for a download that runs until it is stopped (then Queued), or until the limit.
    static Script runUntilStopped(std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        return [limit](QueuedFileInterface *, FakeDownloadThread &self) {
            const auto end = std::chrono::steady_clock::now() + limit;
            while (!self.stopRequested && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return self.stopRequested ? Lumora::Queued : Lumora::Completed;
        };
    }

    std::vector<uint64_t> interruptedFinishes;  // before the scheduler runs: no lock needed
    std::vector<QUrl> strayCleaningSources;     // the same
    std::vector<QUrl> discarded;                // guarded by m_mutex
    std::vector<QUrl> expectedNext;             // guarded by m_mutex: each run's hint, in order
    std::atomic<int> downloads{0}, requestStops{0}, stopAndWaits{0};
    std::atomic<bool> stopRequested{false}, running{false};
    std::atomic<Lumora::DownloadManagerInterface *> manager{nullptr};
    std::atomic<Lumora::DownloadListener *> listener{nullptr};

private:
    std::mutex m_mutex;
    Script script;
    lmtl::RefCountedPtr<QueuedFileInterface> m_current;
};

} // namespace LumoraTest
