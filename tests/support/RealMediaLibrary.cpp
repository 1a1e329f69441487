#include "tests/support/RealMediaLibrary.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "host/medialibrary/MediaLibraryPlugin.h"
#include "plugin/InterfaceNames.h"

namespace LumoraTest {

RealMediaLibrary::RealMediaLibrary(TestHostContext &context, const QString &databasePath)
{
    Lumora::LibraryOpenOptions options;
    options.databasePath = databasePath.isEmpty() ? Lumora::OSUtilities::libraryDatabasePath() : databasePath;
    m_path = options.databasePath;
    m_library = Lumora::MediaLibrary::open(options, &m_error);
    std::shared_ptr<Lumora::MediaLibrary> shared = m_library;
    m_info = context.registerPlugin(
        "RealMediaLibrary",
        {VSE::InterfaceNames::MediaManagerText, VSE::InterfaceNames::MediaManagerV2Text, Lumora::MediaLibraryHostText},
        [shared](VSE::PluginContext *ctx) -> VSE::Plugin * { return new Lumora::MediaLibraryPlugin(ctx, shared); });
}

std::vector<uint64_t> RealMediaLibrary::storedPlaylistIds() const
{
    Lumora::LibraryOpenOptions options;
    options.databasePath = m_path;
    options.readOnly = true;
    auto reader = Lumora::MediaLibrary::open(options, nullptr);
    return reader ? reader->downloadOrder() : std::vector<uint64_t>();
}

std::vector<uint64_t> RealMediaLibrary::playlistIds() const
{
    return m_library ? m_library->downloadOrder() : std::vector<uint64_t>();
}

lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> RealMediaLibrary::item(uint64_t id) const
{
    lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> found;
    if (m_library)
        m_library->getItem(id, found.receive());
    return found;
}

lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> RealMediaLibrary::addItem(
    const QString &url, Lumora::DownloadStatusValue status)
{
    lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> item;
    if (!m_library)
        return item;
    const QUrl address(url);
    if (!m_library->createQueuedItem(address, address.fileName().section('.', 0, 0), address, item.receive()))
        return item;
    item->setStatus(status);
    item->commit();
    m_library->downloadPlaylist()->insertItem(-1, item.get());
    return item;
}

} // namespace LumoraTest
