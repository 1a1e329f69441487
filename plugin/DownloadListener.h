#pragma once
// The host's listener, registered with DownloadManagerInterface::setDownloadListener. Called on the
// scheduler thread; an implementation that touches user-interface objects hands the call over.

#include <QString>
#include <QUrl>

#include <cstdint>

namespace Lumora {

class DownloadListener {
public:
    // Not enough free space on the target's drive for a fresh download; the download does not start.
    virtual bool diskSpaceLow(const QString &itemName, const QString &drive, const QString &targetPath,
                              uint64_t requiredBytes, uint64_t freeBytes) = 0;
    // A download failed; fileUrl is the item's local target.
    virtual void downloadFailed(const QUrl &fileUrl) = 0;

protected:
    virtual ~DownloadListener() = default;
};

} // namespace Lumora
