// What the plugin declares to the host's address hand-over, and what it does with an address.

#include "downloadmanager/DownloadManager.h"

#include "lmtl/RefCountedPtr.h"

namespace Lumora {

QStringList DownloadManager::supportedSchemes()
{
    return {QStringLiteral("http"), QStringLiteral("file")};
}

QStringList DownloadManager::supportedMimeTypes(const QString &scheme)
{
    if (scheme != QLatin1String("http"))
        return {};
    return {QStringLiteral("video/vexo"), QStringLiteral("video/vnd.avi"), QStringLiteral("video/x-matroska"),
            QStringLiteral("video/quicktime"), QStringLiteral("video/mp4")};
}

void DownloadManager::receiveURI(const QUrl &uri)
{
    // One intake at a time: two hand-overs of the same address must not both miss the lookup and
    // queue it twice.
    std::lock_guard intake(m_intakeMutex);
    lmtl::RefCountedPtr<QueuedFileInterface> existing;
    if (findDownload(uri, existing.receive()))
        return;
    addDownload(existing.receive(), uri, QString(), QString());
}

} // namespace Lumora
