#include "host/player/Format.h"

#include <algorithm>

#include "plugin/FailureReason.h"

#include <cmath>

namespace Lumora::Host {

// The plugin's reasons name sizes the same way (plugin/FailureReason.h): one rule for both.
uint64_t bytesAtPercent(uint64_t size, int32_t percent)
{
    const auto p = static_cast<uint64_t>(std::clamp(percent, 0, 100));
    return size / 100 * p + size % 100 * p / 100;
}

QString formatBytes(uint64_t bytes)
{
    return formatByteCount(bytes);
}

QString formatRate(double bytesPerSecond)
{
    if (!(bytesPerSecond > 0.0) || !std::isfinite(bytesPerSecond))
        return QStringLiteral("-");
    return formatBytes(static_cast<uint64_t>(bytesPerSecond)) + QStringLiteral("/s");
}

QString formatDuration(uint64_t milliseconds)
{
    if (milliseconds == 0)
        return QStringLiteral("-");
    const uint64_t seconds = (milliseconds + 999) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1m%2s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const uint64_t minutes = seconds / 60;
    if (minutes < 100 * 60)
        return QStringLiteral("%1h%2m").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1d%2h").arg(minutes / (24 * 60)).arg((minutes / 60) % 24, 2, 10, QLatin1Char('0'));
}

QString statusName(DownloadStatusValue status)
{
    return QLatin1String(downloadStatusName(status));
}

QString maskedAddress(const QUrl &url)
{
    if (url.isEmpty())
        return QString();
    QUrl masked = url;
    if (!masked.userName().isEmpty())
        masked.setUserName(QStringLiteral("***"));
    if (!masked.password().isEmpty())
        masked.setPassword(QStringLiteral("***"));
    return masked.toString();
}

QString displayFile(const QUrl &url)
{
    if (url.isEmpty())
        return QString();
    if (url.isLocalFile())
        return url.toLocalFile();
    return maskedAddress(url);
}

QString elide(const QString &text, int width)
{
    if (width <= 0)
        return QString();
    if (text.size() <= width)
        return text;
    if (width == 1)
        return QStringLiteral("…");
    return text.left(width - 1) + QStringLiteral("…");
}

} // namespace Lumora::Host
