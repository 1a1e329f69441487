#pragma once
// Which VDM_E_* reason a failure is, from what libcurl and the system report. The one place these
// mappings live, so that every path through the engine names a failure the same way.

#include <curl/curl.h>

#include <cstdint>

namespace Vdm {

// A finished request's libcurl code. osErrno is CURLINFO_OS_ERRNO of the handle (what a failed
// connect ended with); redirecting says the failure came on the way through a redirect.
int32_t reasonForCurl(CURLcode code, long osErrno, bool redirecting);

// A failed write to the output file, by errno.
int32_t reasonForWriteError(int error);

} // namespace Vdm
