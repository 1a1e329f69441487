#include "plugin/InterfaceNames.h"

namespace VSE::InterfaceNames {

namespace {
// Namespace-scope constants, so they are built during module initialisation (before any plugin
// thread runs) and destroyed at unload.
const AllocatedString<char> kDownloadManager(DownloadManagerText);
const AllocatedString<char> kShutdown(ShutdownText);
const AllocatedString<char> kUriReceiver(URIReceiverText);
const AllocatedString<char> kMediaManager(MediaManagerText);
const AllocatedString<char> kMediaManagerV2(MediaManagerV2Text);
const AllocatedString<char> kPlaybackServices(PlaybackServicesText);
const AllocatedString<char> kPlayer(PlayerText);
const AllocatedString<char> kFileInspector(FileInspectorText);
} // namespace

const AllocatedString<char> &downloadManager() { return kDownloadManager; }
const AllocatedString<char> &shutdown() { return kShutdown; }
const AllocatedString<char> &uriReceiver() { return kUriReceiver; }
const AllocatedString<char> &mediaManager() { return kMediaManager; }
const AllocatedString<char> &mediaManagerV2() { return kMediaManagerV2; }
const AllocatedString<char> &playbackServices() { return kPlaybackServices; }
const AllocatedString<char> &player() { return kPlayer; }
const AllocatedString<char> &fileInspector() { return kFileInspector; }

} // namespace VSE::InterfaceNames
