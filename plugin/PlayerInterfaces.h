#pragma once
// The player's own services, provided by the host under
// InterfaceNames::playbackServices() and InterfaceNames::player().

#include <QUrl>

#include <cstdint>

namespace Lumora {

class PlaybackServicesInterface {
public:
    // Starts playback of url: a local file, or a remote address while its download is arriving.
    virtual bool playUrl(const QUrl &url, int32_t flags) = 0;

protected:
    virtual ~PlaybackServicesInterface() = default;
};

class PlayerInterface {
public:
    // A download finished and was handed to the library.
    virtual void onDownloadCompleted() = 0;

protected:
    virtual ~PlayerInterface() = default;
};

} // namespace Lumora
