// Host operations from several threads against a running scheduler and a worker that takes a
// little time per download: no deadlock, a consistent queue, and every announcement accounted for.

#include "tests/downloadmanager/ManagerFixture.h"
#include "plugin/Topics.h"

#include "host/lmrlibrary/PubSubHub.h"

#include <chrono>
#include <cstdlib>
#include <random>
#include <set>
#include <thread>

using namespace LumoraTest;
using namespace Lumora;
using namespace std::chrono_literals;

namespace {

struct Concurrency : ManagerFixture {
    Concurrency() { schedulerEnabled = true; }

    void hammer(std::chrono::milliseconds duration)
    {
        initialScript = [](MediaManagerInterface::QueuedFileInterface *item, FakeDownloadThread &self) {
            for (int i = 0; i < 5 && !self.stopRequested; ++i) {
                std::this_thread::sleep_for(1ms);
                self.manager.load()->setDownloadProgress(item, i * 20);
            }
            if (self.stopRequested)
                return static_cast<int>(Queued);
            return static_cast<int>(item->id() % 3 == 0 ? Failed : Completed);
        };
        addPlayer();
        build();

        std::atomic<int> added{0}, removed{0};
        std::atomic<int> shown{0}, removedSeen{0};
        auto showId = PubSubHub::subscribe(QLatin1String(Lumora::HubTopics::ShowDownload), [&](const QString &, const QVariant &) { ++shown; });
        auto removedId = PubSubHub::subscribe(QLatin1String(Lumora::HubTopics::MediaItemRemoved), [&](const QString &, const QVariant &) { ++removedSeen; });

        const auto end = std::chrono::steady_clock::now() + duration;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                std::mt19937 random(1234 + t);
                int n = 0;
                while (std::chrono::steady_clock::now() < end) {
                    const auto ids = library->playlistIds();
                    const uint64_t some = ids.empty() ? 0 : ids[random() % ids.size()];
                    switch (random() % 12) {
                    case 0: case 1:
                        if (manager->addDownload(nullptr, QUrl(QString("http://h/%1-%2.mp4").arg(t).arg(n++)), {}, {}))
                            ++added;
                        break;
                    case 2: manager->pauseAll(); break;
                    case 3: manager->resumeAll(); break;
                    case 4: manager->moveDownload(some, static_cast<int64_t>(random() % 5) - 1); break;
                    case 5: manager->retryDownload(some); break;
                    case 6: if (manager->removeDownload(some)) ++removed; break;
                    case 7: manager->stopCurrentDownload(); break;
                    case 8: manager->hasPendingDownloads(); manager->hasCompletedDownloads(); break;
                    case 9: manager->receiveURI(QUrl(QString("http://h/shared-%1.mkv").arg(random() % 8))); break;
                    case 10: manager->clearCompletedDownloads(); break;
                    case 11: manager->playDownload(some); break;
                    }
                }
            });
        }
        for (auto &t : threads)
            t.join();
        manager->resumeAll();
        destroyManager();
        PubSubHub::unsubscribe(showId);
        PubSubHub::unsubscribe(removedId);

        // The queue holds each item once, and only items the library still has.
        const auto ids = library->playlistIds();
        std::set<uint64_t> unique(ids.begin(), ids.end());
        EXPECT_EQ(unique.size(), ids.size());
        for (uint64_t id : ids) {
            auto item = library->item(id);
            ASSERT_TRUE(item) << id;
            const int s = item->status();
            EXPECT_TRUE(s == Queued || s == Completed || s == Failed) << "item " << id << " status " << s;
        }
        // Each shared address was queued once at most.
        std::set<QString> sources;
        for (uint64_t id : ids)
            EXPECT_TRUE(sources.insert(library->item(id)->sourceUrl().toString()).second);
        EXPECT_GE(shown.load(), added.load());
        EXPECT_GE(removedSeen.load(), removed.load());
    }
};

} // namespace

TEST_F(Concurrency, hostOperationsFromFourThreadsLeaveAConsistentQueue)
{
    for (int i = 0; i < 6; ++i)
        library->addItem(QString("http://h/seed%1.mp4").arg(i), Queued);
    hammer(3s);
}
