#include "tests/downloadmanager/PipelineFixture.h"
#include "plugin/Topics.h"

#include "host/lmrlibrary/PubSubHub.h"

#include <QFile>

using namespace LumoraTest;
using namespace Lumora;
using namespace std::chrono_literals;

namespace {

const auto *const qtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

struct Pipeline : PipelineFixture {};

QByteArray clip(const char *name)
{
    QFile f(QString::fromLocal8Bit(std::getenv("LUMORA_TEST_DATA")) + '/' + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST_F(Pipeline, receivedAddressesAreDownloadedIntoTheMediaFolderAndEnterTheLibrary)
{
    const char *names[] = {"clip-160x120.mp4", "clip-320x240.mkv", "clip-176x144.avi"};
    for (const char *name : names)
        server.serveBytes(std::string("/") + name, clip(name).toStdString());
    std::atomic<int> added{0};
    auto subscription = PubSubHub::subscribe(QLatin1String(Lumora::HubTopics::MediaItemAdded), [&](const QString &, const QVariant &) { ++added; });

    start();
    for (const char *name : names)
        uris()->receiveURI(QUrl(QString::fromStdString(server.url(std::string("/") + name))));
    ASSERT_TRUE(waitFor([&] {
        auto items = queue();
        return items.size() == 3 && std::all_of(items.begin(), items.end(), [](auto &i) { return i->status() == Completed; });
    }, 60s));
    // The worker records Completed before it hands the file to the library.
    EXPECT_TRUE(waitFor([&] { return added.load() == 3; }, 10s));
    PubSubHub::unsubscribe(subscription);

    for (auto &item : queue()) {
        const QString source = item->sourceUrl().fileName();
        EXPECT_EQ(item->fileUrl().toLocalFile(), OSUtilities::getVexoMoviesPathDefault() + '/' + source.section('.', 0, 0) + ".vexo");
        EXPECT_EQ(contents(item->fileUrl()), clip(source.toLatin1().constData())) << source.toStdString();
        EXPECT_EQ(item->progress(), 100);
    }
    EXPECT_EQ(added.load(), 3);
}

TEST_F(Pipeline, shutdownDuringATransferRequeuesTheDownloadAndReturnsPromptly)
{
    HttpBehaviour slow;
    slow.bytesPerSecond = 2 * 1024 * 1024;
    server.serveGenerated("/big.mp4", 64ull * 1024 * 1024, slow);
    start();
    uris()->receiveURI(QUrl(QString::fromStdString(server.url("/big.mp4"))));
    lmtl::RefCountedPtr<Item> item;
    ASSERT_TRUE(waitFor([&] {
        auto items = queue();
        if (items.empty() || items[0]->status() != Downloading || items[0]->progress() < 1)
            return false;
        item = items[0];
        return true;
    }, 30s));

    const auto begin = std::chrono::steady_clock::now();
    shutdown();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    std::printf("shutdown during a transfer took %lld ms\n", static_cast<long long>(took.count()));
    EXPECT_LT(took, 5s);
    EXPECT_EQ(item->status(), Queued);
    EXPECT_LT(item->progress(), 100);
}
