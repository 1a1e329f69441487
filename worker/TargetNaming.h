#pragma once
// Where a finished download will live: a file in the media folder, named after the item with the
// suffix ".vexo", and a bracketed counter when the name is taken (clip.vexo, clip[1].vexo, ...).
//
// Item names come from hosts and from addresses, so they are never trusted as paths: a name is
// turned into one plain file name before it is used, and every target lies directly in the media
// folder.

#include "plugin/MediaLibrary.h"
#include "plugin/PluginContext.h"

#include <QString>

namespace Lumora::TargetNaming {

using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;

inline constexpr const char Suffix[] = ".vexo";
inline constexpr const char UnknownName[] = "Unknown";

// name as one safe file name: no separators, no control characters, no runs of dots, no leading dot
// or blank, not too long for a file name once a counter and the suffix are added; "Unknown" when
// nothing is left.
QString safeFileStem(const QString &name);

// The media folder to use: the stored setting, or defaultFolder when the setting is empty.
QString mediaFolder(const QString &defaultFolder);

// Whether path names a file directly inside folder (both compared after cleaning, with "/").
bool liesDirectlyIn(const QString &path, const QString &folder);

// A fresh target for item in mediaFolder: the item's own file when it already lies there, is free
// and has a safe name; otherwise the first of stem.vexo, stem[1].vexo, ... that is neither on disk
// nor known to the media library (as a media file or an acquired file). Empty when no name is free.
QString nameTarget(QueuedFileInterface *item, const QString &mediaFolder, VSE::PluginContext *context);

// The target of this run. A resumed download keeps its file, wherever it lies, when it has a safe
// name; everything else gets a name from nameTarget.
QString decideTarget(QueuedFileInterface *item, const QString &mediaFolder, bool freshDownload,
                     VSE::PluginContext *context);

} // namespace Lumora::TargetNaming
