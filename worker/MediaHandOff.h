#pragma once
// Handing a finished download to the media library: the engine's output is moved onto the item's
// target, the library is asked to accept it, the file inspector measures it, and the library
// registers it as a video file (or updates the video file it already has there). Runs on the
// scheduler thread with the worker's item lock held.

#include "plugin/DownloadManagerInterface.h"
#include "plugin/FailureReason.h"
#include "plugin/FileInspectorInterface.h"
#include "plugin/PluginContext.h"
#include "worker/FilePlacement.h"

#include <QString>

namespace Lumora::MediaHandOff {

struct Inputs {
    MediaManagerInterface::QueuedFileInterface *item = nullptr;
    QString outputPath;                              // the engine's finished file
    bool alreadyPlaced = false;                      // the file is at the target already (a crash came after)
    VSE::FileInspectorInterface *inspector = nullptr; // may be null: the file is then not measured
    DownloadManagerInterface *manager = nullptr;
    VSE::PluginContext *context = nullptr;
    FilePlacement::Method placement = FilePlacement::Method::Automatic;
};

enum class Result {
    Completed,  // placed; in the library when the library and the inspector allowed it
    Failed,     // not placed, or refused by the library: the run fails
};

// why (may be null) receives the reason of a Failed result: target-unplaceable or library-refused.
Result handOff(const Inputs &in, FailureReason *why = nullptr);

} // namespace Lumora::MediaHandOff
