#include "downloadmanager/DownloadRequest.h"

#include "plugin/AcceptedEndings.h"

namespace Lumora {

DownloadRequest DownloadRequest::make(const QUrl &url, const QString &title, const QString &description)
{
    DownloadRequest request;
    if (url.isEmpty() || !url.isValid()) {
        request.reason = QStringLiteral("not a valid address");
        return request;
    }

    // The title comes from the decoded address, so "My%20Clip.mp4" is titled "My Clip".
    const QUrl decoded(QUrl::fromPercentEncoding(url.toEncoded()));
    request.title = title;
    if (request.title.isEmpty()) {
        const QString path = decoded.path();
        const QString section = path.mid(path.lastIndexOf('/') + 1);
        const qsizetype dot = section.lastIndexOf('.');
        request.title = dot < 0 ? section : section.left(dot);
    }
    request.description = description.isEmpty() ? url.host() : description;

    request.accepted = AcceptedEndings::accepts(url);
    if (!request.accepted)
        request.reason = QStringLiteral("not a video file the player takes (accepted extensions: %1)")
                             .arg(AcceptedEndings::endings().join(QStringLiteral(", ")));
    return request;
}

} // namespace Lumora
