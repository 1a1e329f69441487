#include "host/player/PluginStack.h"

#include "host/player/PlayerSettings.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "plugin/InterfaceNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Lumora::Host {

namespace {

constexpr char PlayerPluginName[] = "LumoraPlayer";

std::unique_ptr<VSE::PluginInterfaceHandle> acquireHandle(VSE::PluginContext *context, const char *name)
{
    auto handle = std::make_unique<VSE::PluginInterfaceHandle>(VSE::AllocatedString<char>(name));
    if (handle->acquire(context) != VSE::PluginOk)
        return nullptr;
    return handle;
}

} // namespace

QString pluginFolder()
{
    const QString configured = qEnvironmentVariable("LUMORA_PLUGIN_DIR");
    if (!configured.isEmpty())
        return configured;
    // An installation keeps them in lib/lumora below the prefix; the build in lib/ beside bin/.
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/lumora"));
    if (QFileInfo(installed).isDir())
        return installed;
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib"));
}

PluginStack::PluginStack(PlayerPlugin::Callbacks playerCallbacks) : m_playerCallbacks(std::move(playerCallbacks)) {}

PluginStack::~PluginStack()
{
    unload();
}

bool PluginStack::load(bool withDownloadManager, QString *error)
{
    const QString folder = pluginFolder();
    QStringList problems;
    m_context.scanPluginFolder(folder, &problems);

    m_context.registerHostPlugin(new PlayerPlugin(&m_context, m_playerCallbacks), QLatin1String(PlayerPluginName),
                                 {QLatin1String(VSE::InterfaceNames::PlaybackServicesText),
                                  QLatin1String(VSE::InterfaceNames::PlayerText)});

    m_libraryHost = acquireHandle(&m_context, MediaLibraryHostText);
    if (!m_libraryHost) {
        if (error) {
            *error = QStringLiteral("the media library plugin could not be loaded from %1").arg(folder);
            if (!m_context.loadError().isEmpty())
                *error += QStringLiteral(": ") + m_context.loadError();
            if (!problems.isEmpty())
                *error += QStringLiteral(" (") + problems.join(QStringLiteral("; ")) + ')';
        }
        return false;
    }
    if (!libraryHost()->isOpen()) {
        if (error)
            *error = QStringLiteral("the media library %1 cannot be used: %2")
                         .arg(libraryHost()->databasePath(), libraryHost()->openError());
        return false;
    }
    m_library = acquireHandle(&m_context, VSE::InterfaceNames::MediaManagerText);
    if (!m_library) {
        if (error)
            *error = QStringLiteral("the media library offers no download queue");
        return false;
    }

    if (!withDownloadManager)
        return true;
    // The player's installation is where its engine lies, as an installer would record it.
    if (QFileInfo::exists(folder + QStringLiteral("/VexoDownloadManager.so")))
        PlayerSettings::recordInstallDir(folder);
    m_managerHandle = acquireHandle(&m_context, VSE::InterfaceNames::DownloadManagerText);
    if (!m_managerHandle) {
        if (error) {
            *error = QStringLiteral("the download manager plugin could not be loaded from %1").arg(folder);
            if (!m_context.loadError().isEmpty())
                *error += QStringLiteral(": ") + m_context.loadError();
        }
        return false;
    }
    m_manager = m_managerHandle->as<DownloadManagerInterface>();
    void *interface = nullptr;
    if (m_managerHandle->plugin()->getInterface(VSE::InterfaceNames::uriReceiver(), &interface) == VSE::PluginOk)
        m_receiver = static_cast<URIReceiver *>(interface);
    interface = nullptr;
    if (m_managerHandle->plugin()->getInterface(VSE::InterfaceNames::shutdown(), &interface) == VSE::PluginOk)
        m_shutdown = static_cast<ShutdownInterface *>(interface);
    if (!m_receiver || !m_shutdown) {
        if (error)
            *error = QStringLiteral("the download manager plugin does not take addresses or cannot be shut down");
        return false;
    }
    return true;
}

void PluginStack::applyMediaFolder(const QString &folder)
{
    QDir().mkpath(folder);
    if (MediaLibraryHostInterface *host = libraryHost())
        host->setMediaFolder(folder);
    OSUtilities::setTempDownloadDirectoryParent(folder);
}

MediaManagerInterface::MediaManager *PluginStack::library() const
{
    return m_library ? m_library->as<MediaManagerInterface::MediaManager>() : nullptr;
}

MediaLibraryHostInterface *PluginStack::libraryHost() const
{
    return m_libraryHost ? m_libraryHost->as<MediaLibraryHostInterface>() : nullptr;
}

void PluginStack::shutdownManager()
{
    if (m_shutdown && !m_shutDown) {
        m_shutDown = true;
        m_shutdown->shutdown();
    }
}

void PluginStack::unload()
{
    // The plugin's own shutdown comes first: without it the plugin keeps a reference on itself and
    // its scheduler thread running.
    shutdownManager();
    m_manager = nullptr;
    m_receiver = nullptr;
    m_shutdown = nullptr;
    m_managerHandle.reset();
    m_library.reset();
    m_libraryHost.reset();
    m_context.shutdown();
}

} // namespace Lumora::Host
