#include "plugin/FailureReason.h"

#include <array>
#include <utility>

namespace Lumora {

namespace {

// Kind names as hosts show them in scripts' output (list --json), in the order of FailureKind.
constexpr std::array<std::pair<FailureKind, const char *>, 17> kKindNames{{
    {FailureKind::HttpStatus, "http-status"},
    {FailureKind::HostNotFound, "host-not-found"},
    {FailureKind::ConnectionRefused, "connection-refused"},
    {FailureKind::TimedOut, "timed-out"},
    {FailureKind::ConnectionLost, "connection-lost"},
    {FailureKind::Tls, "tls"},
    {FailureKind::TooManyRedirects, "too-many-redirects"},
    {FailureKind::CredentialsRefused, "credentials-refused"},
    {FailureKind::SizeUnknown, "size-unknown"},
    {FailureKind::BodyLongerThanAnnounced, "body-longer-than-announced"},
    {FailureKind::NotEnoughSpace, "not-enough-space"},
    {FailureKind::DiskFull, "disk-full"},
    {FailureKind::DiskWrite, "disk-write"},
    {FailureKind::TargetUnplaceable, "target-unplaceable"},
    {FailureKind::LibraryRefused, "library-refused"},
    {FailureKind::EngineUnavailable, "engine-unavailable"},
    {FailureKind::UnusableAnswer, "unusable-answer"},
}};

QString statusText(int32_t status)
{
    const QString phrase = httpReasonPhrase(status);
    return phrase.isEmpty() ? QStringLiteral("HTTP %1").arg(status) : QStringLiteral("%1 %2").arg(status).arg(phrase);
}

// "(example.org)" after a sentence, when there is something to name.
QString named(const QString &detail)
{
    return detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail);
}

} // namespace

QString httpReasonPhrase(int32_t status)
{
    switch (status) {
    case 400: return QStringLiteral("Bad Request");
    case 401: return QStringLiteral("Unauthorized");
    case 402: return QStringLiteral("Payment Required");
    case 403: return QStringLiteral("Forbidden");
    case 404: return QStringLiteral("Not Found");
    case 405: return QStringLiteral("Method Not Allowed");
    case 406: return QStringLiteral("Not Acceptable");
    case 407: return QStringLiteral("Proxy Authentication Required");
    case 408: return QStringLiteral("Request Timeout");
    case 409: return QStringLiteral("Conflict");
    case 410: return QStringLiteral("Gone");
    case 411: return QStringLiteral("Length Required");
    case 412: return QStringLiteral("Precondition Failed");
    case 413: return QStringLiteral("Content Too Large");
    case 414: return QStringLiteral("URI Too Long");
    case 415: return QStringLiteral("Unsupported Media Type");
    case 416: return QStringLiteral("Range Not Satisfiable");
    case 418: return QStringLiteral("I'm a teapot");
    case 421: return QStringLiteral("Misdirected Request");
    case 429: return QStringLiteral("Too Many Requests");
    case 451: return QStringLiteral("Unavailable For Legal Reasons");
    case 500: return QStringLiteral("Internal Server Error");
    case 501: return QStringLiteral("Not Implemented");
    case 502: return QStringLiteral("Bad Gateway");
    case 503: return QStringLiteral("Service Unavailable");
    case 504: return QStringLiteral("Gateway Timeout");
    case 505: return QStringLiteral("HTTP Version Not Supported");
    case 507: return QStringLiteral("Insufficient Storage");
    case 511: return QStringLiteral("Network Authentication Required");
    }
    return QString();
}

QString formatByteCount(uint64_t bytes)
{
    static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 6) {
        value /= 1024.0;
        ++unit;
    }
    // Three significant digits: 1.23, 12.3, 123; rounding up to 1024 stays in the smaller unit.
    const int decimals = value < 10.0 ? 2 : value < 100.0 ? 1 : 0;
    return QStringLiteral("%1 %2").arg(value, 0, 'f', decimals).arg(QLatin1String(units[unit]));
}

QString FailureReason::kindName() const
{
    for (const auto &[k, name] : kKindNames) {
        if (k == kind)
            return QLatin1String(name);
    }
    return QString();
}

FailureKind FailureReason::kindFromName(QStringView name)
{
    for (const auto &[k, text] : kKindNames) {
        if (name == QLatin1String(text))
            return k;
    }
    return FailureKind::None;
}

FailureReason FailureReason::http(int32_t status, const QString &host)
{
    FailureReason reason;
    reason.kind = status == 401 || status == 407 ? FailureKind::CredentialsRefused : FailureKind::HttpStatus;
    reason.httpStatus = status;
    reason.detail = host;
    return reason;
}

FailureReason FailureReason::of(FailureKind kind, const QString &detail)
{
    FailureReason reason;
    reason.kind = kind;
    reason.detail = detail;
    return reason;
}

QString FailureReason::message() const
{
    switch (kind) {
    case FailureKind::None:
        return QString();
    case FailureKind::HttpStatus:
        return statusText(httpStatus) + named(detail);
    case FailureKind::HostNotFound:
        return QStringLiteral("host not found: %1").arg(detail);
    case FailureKind::ConnectionRefused:
        return QStringLiteral("connection refused by %1").arg(detail);
    case FailureKind::TimedOut:
        return QStringLiteral("timed out waiting for %1").arg(detail);
    case FailureKind::ConnectionLost:
        return QStringLiteral("the connection to %1 was lost").arg(detail);
    case FailureKind::Tls:
        return QStringLiteral("no secure connection to %1 (its certificate was not trusted, or TLS failed)").arg(detail);
    case FailureKind::TooManyRedirects:
        return QStringLiteral("too many redirects%1").arg(named(detail));
    case FailureKind::CredentialsRefused:
        return QStringLiteral("the server refused the user name and password (%1%2)")
            .arg(statusText(httpStatus), detail.isEmpty() ? QString() : QStringLiteral(", ") + detail);
    case FailureKind::SizeUnknown:
        return httpStatus >= 400
                   ? QStringLiteral("the server would not tell the file's size (it answered %1 to a size request%2)")
                         .arg(statusText(httpStatus), detail.isEmpty() ? QString() : QStringLiteral(" from ") + detail)
                   : QStringLiteral("the server did not tell the file's size%1").arg(named(detail));
    case FailureKind::BodyLongerThanAnnounced:
        return QStringLiteral("the server sent more than the %1 it announced").arg(detail);
    case FailureKind::NotEnoughSpace:
        return QStringLiteral("not enough disk space: it needs %1, and %2 has %3 free")
            .arg(formatByteCount(neededBytes), detail, formatByteCount(freeBytes));
    case FailureKind::DiskFull:
        return QStringLiteral("the disk is full%1").arg(named(detail));
    case FailureKind::DiskWrite:
        return QStringLiteral("the download could not be written%1").arg(detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
    case FailureKind::TargetUnplaceable:
        return QStringLiteral("the finished file could not be moved to %1").arg(detail);
    case FailureKind::LibraryRefused:
        return QStringLiteral("the media library did not accept %1").arg(detail.isEmpty() ? QStringLiteral("the file") : detail);
    case FailureKind::EngineUnavailable:
        return QStringLiteral("the download engine could not be loaded");
    case FailureKind::UnusableAnswer:
        return QStringLiteral("the server's answer could not be used%1").arg(named(detail));
    }
    return QString();
}

QString FailureReason::shortMessage() const
{
    switch (kind) {
    case FailureKind::HttpStatus:
        return statusText(httpStatus);
    case FailureKind::CredentialsRefused:
        return QStringLiteral("credentials refused");
    case FailureKind::NotEnoughSpace:
        return QStringLiteral("not enough space");
    case FailureKind::None:
        return QString();
    default:
        return kindName().replace(u'-', u' ');
    }
}

} // namespace Lumora
