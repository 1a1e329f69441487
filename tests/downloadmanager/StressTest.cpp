// Fifty real downloads while three threads pull the queue about for twenty seconds, then shutdown.
// Opt-in (label stress): ctest --preset stress.

#include "tests/downloadmanager/PipelineFixture.h"

#include <random>

using namespace LumoraTest;
using namespace Lumora;
using namespace std::chrono_literals;

namespace {

const auto *const qtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

struct Stress : PipelineFixture {};

} // namespace

TEST_F(Stress, fiftyDownloadsUnderRandomHostOperationsEndValidAndIntact)
{
    std::mt19937 random(42);
    std::map<QString, uint64_t> sizes;
    for (int i = 0; i < 50; ++i) {
        HttpBehaviour behaviour;
        behaviour.bytesPerSecond = (i % 4 == 0) ? 4 * 1024 * 1024 : 0;
        const uint64_t size = 64 * 1024 + random() % (3 * 1024 * 1024);
        const std::string path = "/clip" + std::to_string(i) + ".mp4";
        server.serveGenerated(path, size, behaviour);
        sizes[QString::fromStdString(path)] = size;
    }
    start();
    for (const auto &[path, size] : sizes)
        uris()->receiveURI(QUrl(QString::fromStdString(server.url(path.toStdString()))));

    const auto end = std::chrono::steady_clock::now() + 20s;
    std::atomic<int> removals{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 r(100 + t);
            while (std::chrono::steady_clock::now() < end) {
                auto items = queue();
                const uint64_t id = items.empty() ? 0 : items[r() % items.size()]->id();
                switch (r() % 8) {
                case 0: dm()->pauseAll(); break;
                case 1: dm()->resumeAll(); break;
                case 2: dm()->moveDownload(id, static_cast<int64_t>(r() % 10) - 1); break;
                case 3: dm()->retryDownload(id); break;
                case 4:
                    if (removals.fetch_add(1) < 8)
                        dm()->removeDownload(id);
                    break;
                case 5: dm()->playDownload(id); break;
                case 6: dm()->stopCurrentDownload(); break;
                case 7: dm()->hasPendingDownloads(); break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(r() % 50));
            }
        });
    }
    for (auto &t : threads)
        t.join();
    // Then let the queue drain, so that what completes can be compared with its source.
    dm()->resumeAll();
    waitFor([&] { return !dm()->hasPendingDownloads(); }, 120s);
    shutdown();

    int completed = 0;
    std::map<int, int> byStatus;
    for (auto &item : queue())
        ++byStatus[item->status()];
    for (auto [status, count] : byStatus)
        std::printf("status %d: %d items\n", status, count);
    for (auto &item : queue()) {
        const int s = item->status();
        EXPECT_TRUE(s == Queued || s == Completed || s == Failed || s == Waiting) << s;
        if (s != Completed)
            continue;
        ++completed;
        const QByteArray bytes = contents(item->fileUrl());
        const uint64_t size = sizes[item->sourceUrl().path()];
        ASSERT_EQ(static_cast<uint64_t>(bytes.size()), size) << item->sourceUrl().toString().toStdString();
        EXPECT_EQ(bytes.toStdString(), HttpTestServer::generatedString(0, size));
    }
    std::printf("%d downloads completed under the host's operations\n", completed);
    EXPECT_GT(completed, 0);
}
