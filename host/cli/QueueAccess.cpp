#include "host/cli/QueueAccess.h"

#include "host/lmrlibrary/OSUtilities.h"

#include <QFileInfo>

namespace Lumora::Cli {

QString itemLabel(uint64_t id, const QString &title)
{
    return QStringLiteral("[%1] %2").arg(id).arg(title);
}

QString itemLabel(MediaManagerInterface::QueuedFileInterface *item)
{
    return itemLabel(item->id(), item->title());
}

QString noSuchDownload(uint64_t id)
{
    return QStringLiteral("lumora: there is no download %1 (see \"lumora list\")").arg(id);
}

bool findItem(MediaManagerInterface::MediaManager *library, uint64_t id, ItemPtr *item, Output &output)
{
    if (library && library->getItem(id, item->receive()) && *item)
        return true;
    output.error(noSuchDownload(id));
    return false;
}

PlaylistPtr queueOf(MediaManagerInterface::MediaManager *library)
{
    PlaylistPtr playlist;
    if (library)
        library->getPlaylist(MediaManagerInterface::DownloadPlaylistKind, 0, 0, playlist.receive());
    return playlist;
}

// An empty file is no library yet: whichever command writes first makes it one.
bool libraryExists()
{
    const QFileInfo file(OSUtilities::libraryDatabasePath());
    return file.exists() && file.size() > 0;
}

std::unique_ptr<MediaLibrary> openLibrary(bool readOnly, Output &output)
{
    LibraryOpenOptions options;
    options.databasePath = OSUtilities::libraryDatabasePath();
    options.readOnly = readOnly;
    QString error;
    std::unique_ptr<MediaLibrary> library = MediaLibrary::open(options, &error);
    if (!library)
        output.error(QStringLiteral("lumora: cannot open the library %1: %2").arg(options.databasePath, error));
    return library;
}

} // namespace Lumora::Cli
