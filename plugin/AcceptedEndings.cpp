#include "plugin/AcceptedEndings.h"

namespace Lumora::AcceptedEndings {

QStringList endings()
{
    return QString::fromLatin1(List).split(' ', Qt::SkipEmptyParts);
}

QString endingOf(const QUrl &url)
{
    const QString path = url.path();
    return path.mid(path.lastIndexOf('.') + 1);
}

bool accepts(const QUrl &url)
{
    return url.scheme() == QLatin1String(VodScheme) || endings().contains(endingOf(url));
}

} // namespace Lumora::AcceptedEndings
