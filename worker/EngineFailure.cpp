#include "worker/EngineFailure.h"

#include <cerrno>
#include <cstring>

namespace Lumora::EngineFailure {

namespace {

FailureReason diskFailure(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return FailureReason::of(FailureKind::DiskFull);
    return FailureReason::of(FailureKind::DiskWrite, error ? QString::fromLocal8Bit(std::strerror(error)) : QString());
}

} // namespace

FailureReason ofTransfer(const VDMFileInfo &info, const QString &host, uint64_t announced)
{
    return ofCode(info.result, info.httpStatus, info.transportError, host, announced);
}

FailureReason ofCode(int32_t code, int32_t httpStatus, int32_t transportError, const QString &host, uint64_t announced)
{
    switch (code) {
    case VDM_E_HOST_NOT_FOUND:
        return FailureReason::of(FailureKind::HostNotFound, host);
    case VDM_E_CONNECTION_REFUSED:
        return FailureReason::of(FailureKind::ConnectionRefused, host);
    case VDM_E_TIMED_OUT:
        return FailureReason::of(FailureKind::TimedOut, host);
    case VDM_E_CONNECTION_LOST:
        return FailureReason::of(FailureKind::ConnectionLost, host);
    case VDM_E_BODY_TOO_LONG:
        return FailureReason::of(FailureKind::BodyLongerThanAnnounced, formatByteCount(announced));
    case VDM_E_DISK_FULL:
        return FailureReason::of(FailureKind::DiskFull);
    case VDM_E_TLS:
        return FailureReason::of(FailureKind::Tls, host);
    case VDM_E_HTTP_STATUS:
        return FailureReason::http(httpStatus, host);
    case VDM_E_REDIRECT:
        return FailureReason::of(FailureKind::TooManyRedirects, host);
    case VDM_E_STALLED:
        return FailureReason::of(FailureKind::TimedOut, host);
    case VDM_E_DISK:
        return diskFailure(transportError);
    case VDM_E_PROTOCOL:
        return FailureReason::of(FailureKind::UnusableAnswer, host);
    case VDM_E_SERVICE_STOPPED:
    case VDM_E_INTERNAL:
    case VDM_E_UNAVAILABLE:
        return FailureReason::of(FailureKind::EngineUnavailable);
    case VDM_E_NETWORK:
    case VDM_E_TRUNCATED:
    default:
        // The transfer began and ended short: whatever the engine calls it, the connection went.
        return FailureReason::of(FailureKind::ConnectionLost, host);
    }
}

FailureReason ofOpen(int32_t result, const QString &host)
{
    switch (result) {
    case VDM_E_UNAVAILABLE:
    case VDM_E_SERVICE_STOPPED:
    case VDM_E_LIMIT:
        return FailureReason::of(FailureKind::EngineUnavailable);
    case VDM_E_NO_OUTPUT_DIRECTORY:
        return FailureReason::of(FailureKind::DiskWrite, QStringLiteral("the temporary download folder cannot be written"));
    case VDM_E_IN_USE:
        return FailureReason::of(FailureKind::DiskWrite, QStringLiteral("another transfer is writing the same file"));
    default:
        return FailureReason::of(FailureKind::UnusableAnswer, host);
    }
}

} // namespace Lumora::EngineFailure
