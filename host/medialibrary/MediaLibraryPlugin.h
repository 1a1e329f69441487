#pragma once
// The media library as a plugin: answers InterfaceNames::mediaManager(), mediaManagerV2() and the
// host's own MediaLibraryHostText (MediaLibraryHostInterface.h).
//
// Loaded from its library (_getPlugin) it opens the library file at
// OSUtilities::libraryDatabasePath(), which LUMORA_HOME moves. A host or a test that wants another
// file opens a MediaLibrary itself and registers a plugin made with the second constructor.
// A file that cannot be opened is reported once through UIThread::displayMessage; the plugin then
// offers only the host interface, and the download manager runs without a library.

#include "host/medialibrary/MediaLibrary.h"
#include "host/medialibrary/MediaLibraryHostInterface.h"
#include "plugin/Plugin.h"

#include <memory>

namespace Lumora {

class MediaLibraryPlugin final : public VSE::Plugin, public MediaLibraryHostInterface {
public:
    // Opens the default library file.
    explicit MediaLibraryPlugin(VSE::PluginContext *context);
    // Serves library, which the plugin shares with the host (it may be null: no library).
    MediaLibraryPlugin(VSE::PluginContext *context, std::shared_ptr<MediaLibrary> library);
    ~MediaLibraryPlugin() override;

    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override;

    void setMediaFolder(const QString &folder) override;
    QString mediaFolder() const override;
    bool isOpen() const override { return m_library != nullptr; }
    QString openError() const override { return m_openError; }
    QString databasePath() const override { return m_databasePath; }
    QString writeProblem() const override;

    const std::shared_ptr<MediaLibrary> &library() const { return m_library; }

private:
    std::shared_ptr<MediaLibrary> m_library;
    QString m_openError;
    QString m_databasePath;
};

} // namespace Lumora
