#pragma once
// The stream engine's file inspector, looked up under InterfaceNames::fileInspector().
// The download plugin exports this abstract class (constructors, destructor, assignment, virtual
// table) so that the engine's implementation and the download worker agree on one layout.
//
// Use: open(url) with the UTF-8 text of a file URL, then queryFileMeasure (duration in milliseconds)
// and queryTrackMeasure(0, ...) (first video track: width in the low 32 bits, height in the high 32
// bits), then close(). Every operation answers 0 for success.

#include "plugin/AllocatedString.h"

#include <cstdint>

namespace VSE {

class __attribute__((visibility("default"))) FileInspectorInterface {
public:
    FileInspectorInterface();
    FileInspectorInterface(const FileInspectorInterface &other);
    virtual ~FileInspectorInterface();
    FileInspectorInterface &operator=(const FileInspectorInterface &other);

    virtual int32_t open(AllocatedString<unsigned char> url) = 0;
    virtual int32_t close() = 0;
    virtual int32_t queryFileMeasure(uint64_t *out) = 0;
    virtual int32_t queryTrackMeasure(int32_t index, uint64_t *out) = 0;
    virtual int32_t queryTrackCount(int32_t *out) = 0;
    virtual int32_t queryTrackKind(int32_t index, int32_t *out) = 0;
};

// Track kinds answered by queryTrackKind.
enum TrackKind : int32_t { TrackUnknown = 0, TrackVideo = 1, TrackAudio = 2, TrackOther = 3 };

} // namespace VSE
