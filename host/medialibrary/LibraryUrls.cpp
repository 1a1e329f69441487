#include "host/medialibrary/LibraryUrls.h"

#include <QDir>

namespace Lumora::LibraryUrls {

QString toStored(const QUrl &url)
{
    return url.isEmpty() ? QString() : QString::fromUtf8(url.toEncoded(QUrl::FullyEncoded));
}

QUrl fromStored(const QString &text)
{
    return text.isEmpty() ? QUrl() : QUrl::fromEncoded(text.toUtf8(), QUrl::TolerantMode);
}

QString sourceKey(const QUrl &url)
{
    return QString::fromUtf8(url.adjusted(QUrl::RemoveUserInfo).toEncoded(QUrl::FullyEncoded));
}

QString fileKey(const QUrl &url)
{
    if (url.isLocalFile())
        return QStringLiteral("file:") + QDir::cleanPath(url.toLocalFile());
    return sourceKey(url);
}

} // namespace Lumora::LibraryUrls
