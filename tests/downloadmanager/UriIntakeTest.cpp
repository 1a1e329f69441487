#include "tests/downloadmanager/ManagerFixture.h"

#include <thread>

using namespace LumoraTest;
using namespace Lumora;

namespace {
struct UriIntake : ManagerFixture {};
}

TEST_F(UriIntake, declaresSchemesAndMimeTypesExactly)
{
    auto &m = build();
    EXPECT_EQ(m.supportedSchemes(), (QStringList{"http", "file"}));
    EXPECT_EQ(m.supportedMimeTypes("http"),
              (QStringList{"video/vexo", "video/vnd.avi", "video/x-matroska", "video/quicktime", "video/mp4"}));
    EXPECT_TRUE(m.supportedMimeTypes("HTTP").isEmpty());
    EXPECT_TRUE(m.supportedMimeTypes("https").isEmpty());
    EXPECT_TRUE(m.supportedMimeTypes("file").isEmpty());
}

TEST_F(UriIntake, receivingAKnownAddressChangesNothing)
{
    auto &m = build();
    m.receiveURIs({QUrl("http://h/a.mp4"), QUrl("http://h/b.mkv"), QUrl("http://h/c.avi")});
    EXPECT_EQ(library->playlistIds().size(), 3u);
    const auto ids = library->playlistIds();
    EXPECT_EQ(library->item(ids[0])->name(), "a");
    EXPECT_EQ(library->item(ids[2])->name(), "c");

    recorder.clear();
    m.receiveURI(QUrl("http://user:pw@h/b.mkv"));
    EXPECT_TRUE(recorder.topics().empty());
    EXPECT_EQ(library->playlistIds().size(), 3u);
    m.receiveURIs({});
}

TEST_F(UriIntake, theAddedItemKeepsTheCredentialsItCameWith)
{
    auto &m = build();
    m.receiveURI(QUrl("http://user:pw@h/a.mp4"));
    ASSERT_EQ(library->playlistIds().size(), 1u);
    EXPECT_EQ(library->item(library->playlistIds()[0])->sourceUrl().password(), "pw");
}

TEST_F(UriIntake, simultaneousHandOversOfOneAddressQueueItOnce)
{
    auto &m = build();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i)
                m.receiveURI(QUrl(QString("http://h/%1.mp4").arg(i)));
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(library->playlistIds().size(), 25u);
}
