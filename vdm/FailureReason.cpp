#include "vdm/FailureReason.h"

#include "vdm/VexoDownloadManager.h"

#include <cerrno>

namespace Vdm {

int32_t reasonForCurl(CURLcode code, long osErrno, bool redirecting)
{
    switch (code) {
    case CURLE_OK:
        return VDM_OK;
    case CURLE_HTTP_RETURNED_ERROR:
        return VDM_E_HTTP_STATUS;
    case CURLE_TOO_MANY_REDIRECTS:
        return VDM_E_REDIRECT;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return redirecting ? VDM_E_REDIRECT : VDM_E_UNSUPPORTED_URI;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return VDM_E_HOST_NOT_FOUND;
    case CURLE_COULDNT_CONNECT:
        // libcurl folds every failed connect into one code; the system's answer tells them apart.
        if (osErrno == ECONNREFUSED)
            return VDM_E_CONNECTION_REFUSED;
        if (osErrno == ETIMEDOUT)
            return VDM_E_TIMED_OUT;
        return VDM_E_NETWORK;
    case CURLE_OPERATION_TIMEDOUT:
        return VDM_E_TIMED_OUT;
    case CURLE_PARTIAL_FILE:
        return VDM_E_TRUNCATED;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return VDM_E_CONNECTION_LOST;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
        return VDM_E_TLS;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_RANGE_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
        return VDM_E_PROTOCOL;
    case CURLE_WRITE_ERROR:
        return VDM_E_DISK;
    case CURLE_OUT_OF_MEMORY:
        return VDM_E_INTERNAL;
    default:
        return VDM_E_NETWORK;
    }
}

int32_t reasonForWriteError(int error)
{
    return error == ENOSPC || error == EDQUOT ? VDM_E_DISK_FULL : VDM_E_DISK;
}

} // namespace Vdm
