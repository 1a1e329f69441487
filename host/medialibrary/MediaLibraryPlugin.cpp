#include "host/medialibrary/MediaLibraryPlugin.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "host/lmrlibrary/UIThread.h"
#include "plugin/InterfaceNames.h"

namespace Lumora {

namespace {

const VSE::AllocatedString<char> &hostInterfaceName()
{
    static const VSE::AllocatedString<char> name(MediaLibraryHostText);
    return name;
}

} // namespace

MediaLibraryPlugin::MediaLibraryPlugin(VSE::PluginContext *context) : VSE::Plugin(context)
{
    LibraryOpenOptions options;
    options.databasePath = OSUtilities::libraryDatabasePath();
    m_databasePath = options.databasePath;
    m_library = MediaLibrary::open(options, &m_openError);
    if (!m_library)
        UIThread::displayMessage(UIThread::Warning, QStringLiteral("The media library cannot be opened."), m_openError, true);
}

MediaLibraryPlugin::MediaLibraryPlugin(VSE::PluginContext *context, std::shared_ptr<MediaLibrary> library)
    : VSE::Plugin(context), m_library(std::move(library))
{
    if (m_library)
        m_databasePath = m_library->databasePath();
    else
        m_openError = QStringLiteral("no library was given");
}

MediaLibraryPlugin::~MediaLibraryPlugin() = default;

int32_t MediaLibraryPlugin::getInterface(const VSE::AllocatedString<char> &name, void **out)
{
    if (!out)
        return VSE::PluginNotAvailable;
    *out = nullptr;
    if (name == hostInterfaceName())
        *out = static_cast<MediaLibraryHostInterface *>(this);
    else if (m_library && name == VSE::InterfaceNames::mediaManager())
        *out = static_cast<MediaManagerInterface::MediaManager *>(m_library.get());
    else if (m_library && name == VSE::InterfaceNames::mediaManagerV2())
        *out = static_cast<MediaManagerInterface::MediaManagerV2 *>(m_library.get());
    else
        return VSE::PluginNotAvailable;
    return VSE::PluginOk;
}

void MediaLibraryPlugin::setMediaFolder(const QString &folder)
{
    if (m_library)
        m_library->setMediaFolder(folder);
}

QString MediaLibraryPlugin::mediaFolder() const
{
    return m_library ? m_library->mediaFolder() : OSUtilities::getVexoMoviesPathDefault();
}

QString MediaLibraryPlugin::writeProblem() const
{
    return m_library ? m_library->writeProblem() : m_openError;
}

} // namespace Lumora
