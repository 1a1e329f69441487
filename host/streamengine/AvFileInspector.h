#pragma once
// The stream engine's file inspector on libavformat: measures a finished download.
//
//   open(url)               url is the UTF-8 text of a file: URL (or an absolute path). Only local
//                           files are opened, through libavformat's file protocol alone, and formats
//                           that refer to other files (playlists, manifests, concatenation lists,
//                           image sequences) are refused, so neither a crafted address nor a crafted
//                           download can make the inspector fetch or read anything else. A file that
//                           is not audio or video fails here, and one whose first 32 KiB libavformat
//                           cannot place (and that opens with no ID3 tag) fails without the rest
//                           being read.
//   queryFileMeasure        the duration in milliseconds.
//   queryTrackCount         the number of tracks; tracks are numbered video first, then audio, then
//                           the rest, each group in the file's order, so track 0 is the first video
//                           track whenever there is one.
//   queryTrackKind(i)       VSE::TrackKind of track i.
//   queryTrackMeasure(i)    for a video track: width in the low 32 bits, height in the high 32 bits;
//                           other tracks have no measure.
//   close()                 forgets the file (open also closes what was open before).
//
// Every call answers InspectorOk (0) or one of the codes below and fills its out-value only on
// success. Calls are serialised by a mutex; the inspector measures one file at a time.

#include "plugin/FileInspectorInterface.h"

#include <cstdint>
#include <mutex>
#include <vector>

struct AVFormatContext;
struct AVStream;

namespace Lumora {

enum InspectorResult : int32_t {
    InspectorOk = 0,
    InspectorNotOpen = 1,       // no file open
    InspectorBadAddress = 2,    // not a local file address
    InspectorCannotRead = 3,    // missing, not a regular file, or unreadable
    InspectorNotMedia = 4,      // no audio or video libavformat can read
    InspectorNoSuchTrack = 5,   // index out of range, or a track without that measure
    InspectorUnknown = 6,       // the file does not say (no duration)
    InspectorBadArgument = 7,   // null out-pointer
};

class AvFileInspector final : public VSE::FileInspectorInterface {
public:
    AvFileInspector();
    ~AvFileInspector() override;

    int32_t open(VSE::AllocatedString<unsigned char> url) override;
    int32_t close() override;
    int32_t queryFileMeasure(uint64_t *out) override;
    int32_t queryTrackMeasure(int32_t index, uint64_t *out) override;
    int32_t queryTrackCount(int32_t *out) override;
    int32_t queryTrackKind(int32_t index, int32_t *out) override;

private:
    const AVStream *trackStream(int32_t index) const;  // under m_mutex, with a file open
    void closeLocked();

    std::mutex m_mutex;
    AVFormatContext *m_format = nullptr;
    std::vector<int> m_tracks;  // stream indexes in track order
};

} // namespace Lumora
