// The transfer thread: one run of a transfer, from deciding where to start to the final rename.
//
// A run is one download (Download.h), or two when a resume turns out to be impossible only once
// the server has answered (a different resource behind the same URI): then it starts over from
// byte 0. Retries after passing faults happen inside the download.

#include "vdm/Transfer.h"

#include "vdm/Download.h"
#include "vdm/FailureReason.h"

#include <cerrno>
#include <unistd.h>

namespace Vdm {

namespace {

// Starts from byte 0 after a resume the server's answer ruled out. One is expected; a second in
// the same run means the server contradicts itself.
constexpr int kMaxRestarts = 2;

} // namespace

Transfer::Outcome Transfer::runAttempts()
{
    if (const int32_t acquired = acquirePartFile(); acquired != VDM_OK)
        return {Ending::Failed, acquired, errno};
    Outcome outcome = runDownloads();
    if (outcome.ending == Ending::Failed && m_fd >= 0 && !resumePoint())
        discardPartFile();
    return outcome;
}

Transfer::Outcome Transfer::runDownloads()
{
    const TransferSetup &setup = m_setup;
    if (!m_removedStaleFinal) {
        // A finished file of an earlier transfer of this URI is outdated the moment this one runs.
        ::unlink(setup.names.finalPath.c_str());
        m_removedStaleFinal = true;
    }
    // Continue the part file when it holds the start of a resource we can recognise again: always
    // within one open (we wrote it), across opens only when asked to.
    uint64_t offset = 0;
    std::optional<PartialMeta> resume;
    if ((setup.flags & VDM_OPEN_RESUME) || m_hasRun)
        resume = resumePoint(&offset);
    m_hasRun = true;

    for (int restarts = 0;; ++restarts) {
        if (!resume) {
            if (const int error = emptyFile(m_fd); error != 0)
                return {Ending::Failed, reasonForWriteError(error), error};
            ::unlink(setup.names.metaPath.c_str());
        }
        Download download(*this, m_fd, std::move(resume), offset);
        const Download::Result result = download.run();
        resume.reset();
        offset = 0;
        switch (result.end) {
        case Download::End::Restart:
            if (restarts + 1 < kMaxRestarts)
                continue;
            return {Ending::Failed, VDM_E_PROTOCOL, 0};
        case Download::End::Completed:
            return complete();
        case Download::End::Paused:
            return {Ending::Paused, VDM_OK, 0};
        case Download::End::Failed:
            if (result.reason == VDM_E_BODY_TOO_LONG)
                discardPartFile();  // not the file anyone asked for, resumable or not
            return {Ending::Failed, result.reason, result.transportError};
        }
    }
}

Transfer::Outcome Transfer::complete()
{
    const TransferSetup &setup = m_setup;
    // Should the rename fail, the part file still holds every byte: the transfer is reported as
    // failed, and a caller that goes by the counts finds the whole file under the part name.
    if (::rename(setup.names.partPath.c_str(), setup.names.finalPath.c_str()) != 0)
        return {Ending::Failed, VDM_E_DISK, errno};
    ::unlink(setup.names.metaPath.c_str());
    return {Ending::Completed, VDM_OK, 0};
}

} // namespace Vdm
