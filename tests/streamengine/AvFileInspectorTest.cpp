// The file inspector on the generated clips, on files that are not media, on addresses it must not
// follow, and as the host loads it.

#include "host/context/HostPluginContext.h"
#include "host/streamengine/AvFileInspector.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PluginInterfaceHandle.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Lumora;

namespace {

const QString kData = QStringLiteral(LUMORA_TEST_DATA_DIR);

VSE::AllocatedString<unsigned char> urlText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return VSE::AllocatedString<unsigned char>(reinterpret_cast<const unsigned char *>(utf8.constData()),
                                               static_cast<int32_t>(utf8.size()));
}

// What the download worker passes: the UTF-8 text of the file's QUrl, default formatting.
VSE::AllocatedString<unsigned char> fileUrlText(const QString &path)
{
    return urlText(QUrl::fromLocalFile(path).toString());
}

struct Clip {
    const char *file;
    uint64_t durationMs;
    uint32_t width, height;
    std::vector<int32_t> kinds;
};

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

TEST(AvFileInspector, measuresTheGeneratedClips)
{
    const std::vector<Clip> clips = {
        {"clip-160x120.mp4", 3000, 160, 120, {VSE::TrackVideo, VSE::TrackAudio}},
        {"clip-320x240.mkv", 2000, 320, 240, {VSE::TrackVideo}},
        {"clip-176x144.avi", 2400, 176, 144, {VSE::TrackVideo, VSE::TrackAudio}},
    };
    AvFileInspector inspector;
    for (const Clip &clip : clips) {
        SCOPED_TRACE(clip.file);
        ASSERT_EQ(inspector.open(fileUrlText(kData + '/' + clip.file)), InspectorOk);
        uint64_t duration = 0;
        ASSERT_EQ(inspector.queryFileMeasure(&duration), InspectorOk);
        EXPECT_NEAR(double(duration), double(clip.durationMs), 80.0);
        uint64_t track = 0;
        ASSERT_EQ(inspector.queryTrackMeasure(0, &track), InspectorOk);
        EXPECT_EQ(uint32_t(track & 0xffffffffu), clip.width);
        EXPECT_EQ(uint32_t(track >> 32), clip.height);
        int32_t count = 0;
        ASSERT_EQ(inspector.queryTrackCount(&count), InspectorOk);
        ASSERT_EQ(count, int32_t(clip.kinds.size()));
        for (int32_t i = 0; i < count; ++i) {
            int32_t kind = -1;
            ASSERT_EQ(inspector.queryTrackKind(i, &kind), InspectorOk);
            EXPECT_EQ(kind, clip.kinds[size_t(i)]);
        }
        // Only a video track has a measure.
        if (count > 1) {
            EXPECT_EQ(inspector.queryTrackMeasure(1, &track), InspectorNoSuchTrack);
        }
        EXPECT_EQ(inspector.queryTrackMeasure(count, &track), InspectorNoSuchTrack);
        EXPECT_EQ(inspector.queryTrackMeasure(-1, &track), InspectorNoSuchTrack);
        EXPECT_EQ(inspector.queryFileMeasure(nullptr), InspectorBadArgument);
        EXPECT_EQ(inspector.close(), InspectorOk);
    }
}

TEST(AvFileInspector, opensDownloadsUnderAnyName)
{
    LumoraTest::TempHome home;
    // A finished download: the item's name, the .vexo suffix, spaces, other scripts, a '%' and a '#'.
    const QString folder = home.path() + "/Vexo Movies";
    QDir().mkpath(folder);
    const QString target = folder + "/Clip ü 100% #1[2].vexo";
    ASSERT_TRUE(QFile::copy(kData + "/clip-320x240.mkv", target));
    AvFileInspector inspector;
    ASSERT_EQ(inspector.open(fileUrlText(target)), InspectorOk);
    uint64_t track = 0;
    ASSERT_EQ(inspector.queryTrackMeasure(0, &track), InspectorOk);
    EXPECT_EQ(track, (uint64_t(240) << 32) | 320);
    // The fully encoded form and a plain path name the same file.
    EXPECT_EQ(inspector.open(urlText(QString::fromUtf8(QUrl::fromLocalFile(target).toEncoded()))), InspectorOk);
    EXPECT_EQ(inspector.open(urlText(target)), InspectorOk);
    EXPECT_EQ(inspector.close(), InspectorOk);
    EXPECT_EQ(inspector.close(), InspectorNotOpen);
}

TEST(AvFileInspector, refusesWhatIsNotALocalMediaFile)
{
    LumoraTest::TempHome home;
    const QString dir = home.path();
    writeFile(dir + "/text.vexo", QByteArray("This is not a video, only some text.\n").repeated(200));
    writeFile(dir + "/empty.vexo", QByteArray());
    QByteArray noise(64 * 1024, 0);
    std::srand(5);
    for (char &c : noise)
        c = char(std::rand());
    writeFile(dir + "/noise.vexo", noise);
    QByteArray truncated;
    {
        QFile clip(kData + "/clip-160x120.mp4");
        ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
        truncated = clip.read(300);
    }
    writeFile(dir + "/truncated.vexo", truncated);
    // A playlist whose entries would make a careless inspector open other files and hosts.
    writeFile(dir + "/list.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nhttp://127.0.0.1:9/a.ts\n#EXTINF:2,\n"
                                  + QFile::encodeName(kData) + "/clip-160x120.mp4\n#EXT-X-ENDLIST\n");
    writeFile(dir + "/concat.txt", "ffconcat version 1.0\nfile '" + QFile::encodeName(kData) + "/clip-160x120.mp4'\n");
    QDir().mkpath(dir + "/folder.vexo");

    AvFileInspector inspector;
    for (const char *name : {"text.vexo", "empty.vexo", "noise.vexo", "truncated.vexo", "list.m3u8", "concat.txt"}) {
        const int32_t result = inspector.open(fileUrlText(dir + '/' + name));
        EXPECT_NE(result, InspectorOk) << name;
        uint64_t measure = 0;
        EXPECT_EQ(inspector.queryFileMeasure(&measure), InspectorNotOpen) << name;
        EXPECT_EQ(inspector.queryTrackMeasure(0, &measure), InspectorNotOpen) << name;
    }
    EXPECT_EQ(inspector.open(fileUrlText(dir + "/folder.vexo")), InspectorCannotRead);
    EXPECT_EQ(inspector.open(fileUrlText(dir + "/missing.vexo")), InspectorCannotRead);
    EXPECT_EQ(inspector.open(urlText(QStringLiteral("http://127.0.0.1:9/clip.mp4"))), InspectorBadAddress);
    EXPECT_EQ(inspector.open(urlText(QStringLiteral("concat:") + kData + "/clip-160x120.mp4")), InspectorBadAddress);
    EXPECT_EQ(inspector.open(urlText(QStringLiteral("clip-160x120.mp4"))), InspectorBadAddress);
    EXPECT_EQ(inspector.open(VSE::AllocatedString<unsigned char>()), InspectorBadAddress);

    // A failed open also closes what was open before.
    ASSERT_EQ(inspector.open(fileUrlText(kData + "/clip-160x120.mp4")), InspectorOk);
    EXPECT_NE(inspector.open(fileUrlText(dir + "/text.vexo")), InspectorOk);
    uint64_t measure = 0;
    EXPECT_EQ(inspector.queryFileMeasure(&measure), InspectorNotOpen);
}

TEST(StreamEnginePlugin, servesTheInspectorThroughTheHostContext)
{
    LumoraTest::TempHome home;
    HostPluginContext context;
    ASSERT_TRUE(context.addManifest(QStringLiteral(LUMORA_PLUGIN_DIR "/LumoraStreamEngine.plugin"), nullptr));
    {
        VSE::PluginInterfaceHandle handle(VSE::InterfaceNames::fileInspector());
        ASSERT_EQ(handle.acquire(&context), VSE::PluginOk) << context.loadError().toStdString();
        auto *inspector = handle.as<VSE::FileInspectorInterface>();
        ASSERT_EQ(inspector->open(fileUrlText(kData + "/clip-176x144.avi")), 0);
        uint64_t duration = 0, track = 0;
        EXPECT_EQ(inspector->queryFileMeasure(&duration), 0);
        EXPECT_NEAR(double(duration), 2400.0, 80.0);
        EXPECT_EQ(inspector->queryTrackMeasure(0, &track), 0);
        EXPECT_EQ(track, (uint64_t(144) << 32) | 176);
        EXPECT_EQ(inspector->close(), 0);
        void *other = nullptr;
        EXPECT_EQ(handle.plugin()->getInterface(VSE::InterfaceNames::mediaManager(), &other), VSE::PluginNotAvailable);
        EXPECT_EQ(other, nullptr);
    }
    context.shutdown();
    EXPECT_TRUE(context.loadedLibraries().isEmpty());
}
