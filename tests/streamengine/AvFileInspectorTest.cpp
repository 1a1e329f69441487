// The file inspector on the generated clips (whole, renamed, cut short, behind a tag), on files that
// are not media, on addresses it must not follow, and as the host loads it.

#include "host/context/HostPluginContext.h"
#include "plugin/AcceptedEndings.h"
#include "host/streamengine/AvFileInspector.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PluginInterfaceHandle.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdlib>
#include <random>

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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray randomBytes(qsizetype size, std::mt19937::result_type seed)
{
    std::mt19937 random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// An ID3v2.3 tag of the given size, all padding, as audio files carry in front of their stream.
QByteArray id3Tag(int size)
{
    QByteArray tag("ID3\x03\x00\x00", 6);
    for (int shift : {21, 14, 7, 0})
        tag.append(char((size >> shift) & 0x7f));
    return tag + QByteArray(size, '\0');
}

// What libavformat answers when it places the whole file itself, as the inspector did before it
// looked at a file's head first: whether there is audio or video, the stated duration, the picture
// size of the first video stream.
struct WholeFileAnswer {
    bool media = false;
    int64_t durationMs = -1;
    int width = 0;
    int height = 0;
};

WholeFileAnswer wholeFileAnswer(const QString &path)
{
    WholeFileAnswer answer;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext *format = nullptr;
    const QByteArray target = "file:" + QFile::encodeName(path);
    const int opened = avformat_open_input(&format, target.constData(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return answer;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        bool videoSeen = false;
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            const AVCodecParameters *codec = format->streams[i]->codecpar;
            const bool picture = format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC;
            if (codec->codec_type == AVMEDIA_TYPE_AUDIO)
                answer.media = true;
            if (codec->codec_type == AVMEDIA_TYPE_VIDEO && !picture && !videoSeen) {
                videoSeen = answer.media = true;
                answer.width = codec->width;
                answer.height = codec->height;
            }
        }
        if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
            answer.durationMs = av_rescale(format->duration, 1000, AV_TIME_BASE);
    }
    avformat_close_input(&format);
    return answer;
}

void expectWholeFileAnswer(AvFileInspector &inspector, const QString &path)
{
    SCOPED_TRACE(path.toStdString());
    const WholeFileAnswer expected = wholeFileAnswer(path);
    const int32_t opened = inspector.open(fileUrlText(path));
    if (!expected.media) {
        EXPECT_EQ(opened, InspectorNotMedia);
        return;
    }
    ASSERT_EQ(opened, InspectorOk);
    ASSERT_GE(expected.durationMs, 0) << "a container that states no duration";
    uint64_t duration = 0;
    EXPECT_EQ(inspector.queryFileMeasure(&duration), InspectorOk);
    EXPECT_EQ(duration, uint64_t(expected.durationMs));
    uint64_t track = 0;
    if (expected.width > 0 && expected.height > 0) {
        EXPECT_EQ(inspector.queryTrackMeasure(0, &track), InspectorOk);
        EXPECT_EQ(track, (uint64_t(uint32_t(expected.height)) << 32) | uint32_t(expected.width));
    } else {
        EXPECT_EQ(inspector.queryTrackMeasure(0, &track), InspectorNoSuchTrack);
    }
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

TEST(AvFileInspector, refusesRandomBytesUnderEveryAcceptedEnding)
{
    LumoraTest::TempHome home;
    // The endings the download manager takes: what a failed download would be named.
    const QStringList endings = Lumora::AcceptedEndings::endings();
    // Longer than the inspector's first look at a file, and shorter.
    const qsizetype sizes[] = {512 * 1024, 16 * 1024};
    AvFileInspector inspector;
    std::mt19937::result_type seed = 11;
    for (const qsizetype size : sizes) {
        for (const QString &ending : endings) {
            const QString path = home.path() + QStringLiteral("/noise-%1.%2").arg(size).arg(ending);
            writeFile(path, randomBytes(size, ++seed));
            EXPECT_EQ(inspector.open(fileUrlText(path)), InspectorNotMedia) << path.toStdString();
            uint64_t measure = 0;
            EXPECT_EQ(inspector.queryFileMeasure(&measure), InspectorNotOpen);
        }
    }
}

// The inspector answers what libavformat's own look at the whole file answers, for every clip under
// its ending and as a download, cut short anywhere from inside its header to its last KiB, and behind
// an ID3 tag longer than the part of a file the inspector looks at first.
TEST(AvFileInspector, answersAsTheWholeFileProbeForClipsWholeCutAndTagged)
{
    LumoraTest::TempHome home;
    AvFileInspector inspector;
    for (const char *name : {"clip-160x120.mp4", "clip-320x240.mkv", "clip-176x144.avi"}) {
        const QByteArray clip = readFile(kData + '/' + name);
        ASSERT_FALSE(clip.isEmpty()) << name;
        const QString stem = home.path() + '/' + name;
        ASSERT_TRUE(wholeFileAnswer(kData + '/' + name).media) << name;
        expectWholeFileAnswer(inspector, kData + '/' + name);

        writeFile(stem + ".vexo", clip);
        expectWholeFileAnswer(inspector, stem + ".vexo");
        writeFile(stem + ".tagged.vexo", id3Tag(48 * 1024) + clip);
        expectWholeFileAnswer(inspector, stem + ".tagged.vexo");
        for (const qsizetype length : {qsizetype(300), qsizetype(1000), qsizetype(4096), qsizetype(20000),
                                       qsizetype(40000), clip.size() / 2, clip.size() - 1024}) {
            const QString cut = home.path() + QStringLiteral("/cut-%1-").arg(length) + name;
            writeFile(cut, clip.left(length));
            expectWholeFileAnswer(inspector, cut);
        }
    }
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
