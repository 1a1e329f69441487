#pragma once
// What the engine's answers mean to a person: the reason of a transfer that ended without its file,
// and of an open the engine refused.

#include "plugin/FailureReason.h"
#include "vdm/VexoDownloadManager.h"

#include <QString>

namespace Lumora::EngineFailure {

// A transfer that ended with received != total. host names the server in the sentence.
FailureReason ofTransfer(const VDMFileInfo &info, const QString &host);
// VDMFileOpenURIEx's result, when not VDM_OK.
FailureReason ofOpen(int32_t result, const QString &host);

} // namespace Lumora::EngineFailure
