#pragma once
// Every interface name the plugins of this player answer or look up. Built once, while the module's
// static data is initialised.

#include "plugin/AllocatedString.h"

namespace VSE::InterfaceNames {

const AllocatedString<char> &downloadManager();   // "com.vexo.lumora.pluginInterface.DownloadManager"
const AllocatedString<char> &shutdown();          // "com.vexo.lumora.pluginInterface.Shutdown"
const AllocatedString<char> &uriReceiver();       // "com.vexo.lumora.pluginInterface.URIReceiver"
const AllocatedString<char> &mediaManager();      // "com.vexo.lumora.pluginInterface.MediaManager"
const AllocatedString<char> &mediaManagerV2();    // "com.vexo.lumora.pluginInterface.MediaManagerV2"
const AllocatedString<char> &playbackServices();  // "com.vexo.lumora.pluginInterface.PlaybackServices"
const AllocatedString<char> &player();            // "com.vexo.lumora.pluginInterface.Player"
const AllocatedString<char> &fileInspector();     // "com.vexo.streamengine.interface.fileInspector"

// The same texts, for hosts writing plugin descriptions.
inline constexpr const char DownloadManagerText[] = "com.vexo.lumora.pluginInterface.DownloadManager";
inline constexpr const char ShutdownText[] = "com.vexo.lumora.pluginInterface.Shutdown";
inline constexpr const char URIReceiverText[] = "com.vexo.lumora.pluginInterface.URIReceiver";
inline constexpr const char MediaManagerText[] = "com.vexo.lumora.pluginInterface.MediaManager";
inline constexpr const char MediaManagerV2Text[] = "com.vexo.lumora.pluginInterface.MediaManagerV2";
inline constexpr const char PlaybackServicesText[] = "com.vexo.lumora.pluginInterface.PlaybackServices";
inline constexpr const char PlayerText[] = "com.vexo.lumora.pluginInterface.Player";
inline constexpr const char FileInspectorText[] = "com.vexo.streamengine.interface.fileInspector";

} // namespace VSE::InterfaceNames
