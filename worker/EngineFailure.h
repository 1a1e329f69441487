#pragma once
// What the engine's answers mean to a person: the reason of a transfer that ended without its file,
// and of an open the engine refused.

#include "plugin/FailureReason.h"
#include "vdm/VexoDownloadManager.h"

#include <QString>

namespace Lumora::EngineFailure {

// A transfer that ended with received != total. host names the server in the sentence; announced
// is the size the server first announced (what a body too long went past).
FailureReason ofTransfer(const VDMFileInfo &info, const QString &host, uint64_t announced);
// One of the engine's VDM_E_* reasons, with what the record says beside it (also the reason of a
// retry).
FailureReason ofCode(int32_t code, int32_t httpStatus, int32_t transportError, const QString &host, uint64_t announced);
// VDMFileOpenURIEx's result, when not VDM_OK.
FailureReason ofOpen(int32_t result, const QString &host);

} // namespace Lumora::EngineFailure
