#include "host/streamengine/AvFileInspector.h"

#include <QFile>
#include <QString>
#include <QUrl>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/avstring.h>
#include <libavutil/mathematics.h>
}

#include <sys/stat.h>
#include <unistd.h>

namespace Lumora {

namespace {

// The local path a file: URL or an absolute path names; empty for anything else.
QString localPathOf(const VSE::AllocatedString<unsigned char> &url)
{
    const QString text = QString::fromUtf8(url.view().data(), static_cast<qsizetype>(url.view().size()));
    if (text.startsWith('/'))
        return text;
    const QUrl parsed(text, QUrl::TolerantMode);
    return parsed.isLocalFile() ? parsed.toLocalFile() : QString();
}

// Formats whose files name other files, streams or programs to open: a playlist, a manifest or a
// concatenation list inside a download would have the inspector read whatever it names.
constexpr const char kReferencingFormats[] =
    "hls,dash,concat,imf,image2,sdp,rtp,rtsp,webm_dash_manifest,avisynth,vapoursynth,tee";

AVDictionary *localFileOnly()
{
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    return options;
}

// How far the first look at a file reads. Every container the player takes names itself in its
// first few KiB; bytes that name nothing there are not media, and letting libavformat search a
// megabyte of them for a weak guess takes a hundred times as long as measuring a real clip.
constexpr unsigned kHeadProbeBytes = 32 * 1024;

// An ID3v2 tag header: "ID3", version and revision, flags, and a four-byte size of 7-bit bytes.
constexpr int kId3HeaderBytes = 10;

bool isId3Header(const unsigned char (&h)[kId3HeaderBytes])
{
    constexpr unsigned char kUnusedVersion = 0xff;
    constexpr unsigned char kHighBit = 0x80;
    return h[0] == 'I' && h[1] == 'D' && h[2] == '3' && h[3] != kUnusedVersion && h[4] != kUnusedVersion
           && !((h[6] | h[7] | h[8] | h[9]) & kHighBit);
}

struct ProbeResult {
    const AVInputFormat *kind = nullptr;
    int score = 0;
    bool id3Tagged = false;
};

// libavformat's own probe of the file, reading at most maxBytes (0: as far as libavformat reads by
// itself); false when the file cannot be opened.
bool probeFile(const QByteArray &target, unsigned maxBytes, ProbeResult *out)
{
    AVDictionary *options = localFileOnly();
    AVIOContext *io = nullptr;
    const int opened = avio_open2(&io, target.constData(), AVIO_FLAG_READ, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return false;
    unsigned char head[kId3HeaderBytes] = {};
    out->id3Tagged = avio_read(io, head, kId3HeaderBytes) == kId3HeaderBytes && isId3Header(head);
    const int score = avio_seek(io, 0, SEEK_SET) == 0
                          ? av_probe_input_buffer2(io, &out->kind, target.constData(), nullptr, 0, maxBytes)
                          : AVERROR(EIO);
    avio_closep(&io);
    if (score < 0) {
        out->kind = nullptr;
        out->score = 0;
    } else {
        out->score = score;
    }
    return true;
}

// What the file is, decided from its first bytes (and its name), before any demuxer runs.
//
// The head is probed the way libavformat probes a whole file (the same growing reads, the same
// name), so whatever it recognises there with confidence is exactly what the whole-file probe would
// have answered, and a file no longer than the head has been seen whole. Only a head that is
// inconclusive in a way real media can be gets the whole-file probe: libavformat asking for more
// data (a raw stream that proves itself over more frames) or an ID3 tag, which pushes the audio
// behind it past any head (cover pictures). Anything else is refused without reading further.
const AVInputFormat *probeFormat(const QByteArray &target, int64_t fileSize)
{
    ProbeResult head;
    if (!probeFile(target, kHeadProbeBytes, &head))
        return nullptr;
    if (head.score > AVPROBE_SCORE_RETRY || fileSize <= static_cast<int64_t>(kHeadProbeBytes))
        return head.kind;
    if (head.score < AVPROBE_SCORE_RETRY && !head.id3Tagged)
        return nullptr;
    ProbeResult whole;
    return probeFile(target, 0, &whole) ? whole.kind : nullptr;
}

int trackGroup(const AVStream *stream)
{
    switch (stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        // A cover picture inside an audio file is no video track.
        return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) ? 2 : 0;
    case AVMEDIA_TYPE_AUDIO:
        return 1;
    default:
        return 2;
    }
}

} // namespace

AvFileInspector::AvFileInspector() = default;

AvFileInspector::~AvFileInspector()
{
    std::lock_guard lock(m_mutex);
    closeLocked();
}

int32_t AvFileInspector::open(VSE::AllocatedString<unsigned char> url)
{
    std::lock_guard lock(m_mutex);
    closeLocked();

    const QString path = localPathOf(url);
    if (path.isEmpty())
        return InspectorBadAddress;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(native.constData(), R_OK) != 0)
        return InspectorCannotRead;

    // The "file:" prefix and the protocol whitelist keep libavformat off the network; the format
    // check keeps it to this one file.
    const QByteArray target = "file:" + native;
    const AVInputFormat *kind = probeFormat(target, st.st_size);
    if (!kind || av_match_list(kind->name, kReferencingFormats, ',') > 0)
        return InspectorNotMedia;
    AVDictionary *options = localFileOnly();
    AVFormatContext *format = nullptr;
    const int opened = avformat_open_input(&format, target.constData(), kind, &options);
    av_dict_free(&options);
    if (opened < 0)
        return InspectorNotMedia;
    if (avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        return InspectorNotMedia;
    }

    std::vector<int> tracks;
    bool media = false;
    for (int group = 0; group < 3; ++group) {
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (trackGroup(format->streams[i]) != group)
                continue;
            tracks.push_back(static_cast<int>(i));
            media = media || group < 2;
        }
    }
    if (!media) {
        avformat_close_input(&format);
        return InspectorNotMedia;
    }
    m_format = format;
    m_tracks = std::move(tracks);
    return InspectorOk;
}

int32_t AvFileInspector::close()
{
    std::lock_guard lock(m_mutex);
    if (!m_format)
        return InspectorNotOpen;
    closeLocked();
    return InspectorOk;
}

void AvFileInspector::closeLocked()
{
    if (m_format)
        avformat_close_input(&m_format);
    m_format = nullptr;
    m_tracks.clear();
}

int32_t AvFileInspector::queryFileMeasure(uint64_t *out)
{
    if (!out)
        return InspectorBadArgument;
    std::lock_guard lock(m_mutex);
    if (!m_format)
        return InspectorNotOpen;
    int64_t milliseconds = -1;
    if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0) {
        milliseconds = av_rescale(m_format->duration, 1000, AV_TIME_BASE);
    } else {
        // Some containers only know their streams' lengths.
        for (unsigned i = 0; i < m_format->nb_streams; ++i) {
            const AVStream *stream = m_format->streams[i];
            if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
                milliseconds = std::max(milliseconds, av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000}));
        }
    }
    if (milliseconds < 0)
        return InspectorUnknown;
    *out = static_cast<uint64_t>(milliseconds);
    return InspectorOk;
}

// The stream behind a track index (tracks are ordered video first), null when there is none.
const AVStream *AvFileInspector::trackStream(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_tracks.size())
        return nullptr;
    return m_format->streams[m_tracks[static_cast<size_t>(index)]];
}

int32_t AvFileInspector::queryTrackMeasure(int32_t index, uint64_t *out)
{
    if (!out)
        return InspectorBadArgument;
    std::lock_guard lock(m_mutex);
    if (!m_format)
        return InspectorNotOpen;
    const AVStream *stream = trackStream(index);
    if (!stream)
        return InspectorNoSuchTrack;
    if (trackGroup(stream) != 0 || stream->codecpar->width <= 0 || stream->codecpar->height <= 0)
        return InspectorNoSuchTrack;
    *out = static_cast<uint64_t>(static_cast<uint32_t>(stream->codecpar->width))
           | (static_cast<uint64_t>(static_cast<uint32_t>(stream->codecpar->height)) << 32);
    return InspectorOk;
}

int32_t AvFileInspector::queryTrackCount(int32_t *out)
{
    if (!out)
        return InspectorBadArgument;
    std::lock_guard lock(m_mutex);
    if (!m_format)
        return InspectorNotOpen;
    *out = static_cast<int32_t>(m_tracks.size());
    return InspectorOk;
}

int32_t AvFileInspector::queryTrackKind(int32_t index, int32_t *out)
{
    if (!out)
        return InspectorBadArgument;
    std::lock_guard lock(m_mutex);
    if (!m_format)
        return InspectorNotOpen;
    const AVStream *stream = trackStream(index);
    if (!stream)
        return InspectorNoSuchTrack;
    switch (trackGroup(stream)) {
    case 0:
        *out = VSE::TrackVideo;
        break;
    case 1:
        *out = VSE::TrackAudio;
        break;
    default:
        *out = stream->codecpar->codec_type == AVMEDIA_TYPE_UNKNOWN ? VSE::TrackUnknown : VSE::TrackOther;
        break;
    }
    return InspectorOk;
}

} // namespace Lumora
