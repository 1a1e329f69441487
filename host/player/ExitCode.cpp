#include "host/player/ExitCode.h"

#include <algorithm>

namespace Lumora::Host {

ExitCode exitCodeForFailure(const FailureReason &reason)
{
    return reason.isSet() ? exitCodeFor(reason.kind) : ExitFailed;
}

ExitCode exitCodeFor(FailureKind kind)
{
    switch (kind) {
    case FailureKind::None:
        return ExitOk;
    case FailureKind::HttpStatus:
        return ExitServerError;
    case FailureKind::HostNotFound:
    case FailureKind::ConnectionRefused:
    case FailureKind::TimedOut:
    case FailureKind::ConnectionLost:
        return ExitNetwork;
    case FailureKind::Tls:
        return ExitTls;
    case FailureKind::CredentialsRefused:
        return ExitCredentials;
    case FailureKind::TooManyRedirects:
    case FailureKind::SizeUnknown:
    case FailureKind::BodyLongerThanAnnounced:
    case FailureKind::UnusableAnswer:
        return ExitProtocol;
    case FailureKind::NotEnoughSpace:
    case FailureKind::DiskFull:
    case FailureKind::DiskWrite:
    case FailureKind::TargetUnplaceable:
    case FailureKind::LibraryRefused:
        return ExitFileIo;
    case FailureKind::EngineUnavailable:
        return ExitFailed;
    }
    return ExitFailed;
}

int combineExit(int a, int b)
{
    if (a == ExitOk)
        return b;
    if (b == ExitOk)
        return a;
    if (a == ExitFailed)
        return b;
    if (b == ExitFailed)
        return a;
    return std::min(a, b);
}

const std::vector<ExitStatusLine> &exitStatusLines()
{
    static const std::vector<ExitStatusLine> lines = {
        {ExitOk, QStringLiteral("done: every download asked for completed")},
        {ExitFailed, QStringLiteral("a failure no other status names, or interrupted")},
        {ExitUsage, QStringLiteral("usage: the command line is wrong, or an address was refused")},
        {ExitFileIo, QStringLiteral("file I/O: no space, a write failed, or the file could not be placed")},
        {ExitNetwork, QStringLiteral("network: host not found, connection refused, lost or timed out")},
        {ExitTls, QStringLiteral("TLS: the secure connection failed or was not trusted")},
        {ExitCredentials, QStringLiteral("credentials: the server refused the user name and password")},
        {ExitProtocol, QStringLiteral("protocol: an answer that cannot be used (no size, too long, redirects)")},
        {ExitServerError, QStringLiteral("server error: the server answered 404, 500, ...")},
    };
    return lines;
}

} // namespace Lumora::Host
