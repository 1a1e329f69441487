#pragma once
// The player's plugins, loaded through the host's plugin context: the media library, the stream
// engine (found by the download worker on its own), the download manager, and lumora's own playback
// services and player, registered as an instantiated plugin so that the download manager finds
// them like any other.
//
// Threads: load() and unload() on the main thread (the download manager is made there, as a player
// makes its plugins); shutdownManager() on any thread but the scheduler's, in practice the
// operation thread.

#include "host/player/PlayerPlugin.h"
#include "host/context/HostPluginContext.h"
#include "host/medialibrary/MediaLibraryHostInterface.h"
#include "plugin/DownloadManagerInterface.h"
#include "plugin/MediaLibrary.h"
#include "plugin/PluginInterfaceHandle.h"
#include "plugin/ShutdownInterface.h"
#include "plugin/URIReceiver.h"

#include <QString>

#include <memory>

namespace Lumora::Host {

// Where the plugin libraries and their manifests are: LUMORA_PLUGIN_DIR, else ../lib/lumora beside
// the lumora executable (an installation's layout), else ../lib (the build's).
QString pluginFolder();

class PluginStack {
public:
    explicit PluginStack(PlayerPlugin::Callbacks playerCallbacks);
    ~PluginStack();
    PluginStack(const PluginStack &) = delete;
    PluginStack &operator=(const PluginStack &) = delete;

    // Loads the media library and, with withDownloadManager, the download manager (which starts its
    // scheduler). Tells the library and the temporary download directory where the media folder is.
    bool load(bool withDownloadManager, QString *error);

    // Points the library's file acceptor and the temporary download directory at folder, so that
    // finished files are moved (not copied) into it and accepted there.
    void applyMediaFolder(const QString &folder);

    DownloadManagerInterface *manager() const { return m_manager; }
    URIReceiver *receiver() const { return m_receiver; }
    MediaManagerInterface::MediaManager *library() const;
    MediaLibraryHostInterface *libraryHost() const;

    // The download manager's shutdown: the running download ends Queued, the scheduler stops.
    void shutdownManager();
    // Gives every plugin back and closes the libraries. The interfaces above are gone afterwards.
    void unload();

private:
    HostPluginContext m_context;
    PlayerPlugin::Callbacks m_playerCallbacks;
    std::unique_ptr<VSE::PluginInterfaceHandle> m_libraryHost;
    std::unique_ptr<VSE::PluginInterfaceHandle> m_library;
    std::unique_ptr<VSE::PluginInterfaceHandle> m_managerHandle;
    DownloadManagerInterface *m_manager = nullptr;
    URIReceiver *m_receiver = nullptr;
    ShutdownInterface *m_shutdown = nullptr;
    bool m_shutDown = false;
};

} // namespace Lumora::Host
