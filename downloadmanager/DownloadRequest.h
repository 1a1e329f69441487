#pragma once
// What addDownload makes of an address before anything is created: the title and description
// defaults, and whether the address names a video file the player takes.

#include <QString>
#include <QStringList>
#include <QUrl>

namespace Lumora {

struct DownloadRequest {
    bool accepted = false;
    QString title;
    QString description;
    QString reason;  // why an address was not accepted, for hosts that tell the user

    static DownloadRequest make(const QUrl &url, const QString &title, const QString &description);
};

} // namespace Lumora
