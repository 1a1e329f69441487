#pragma once
// Moving the engine's finished output onto its target in the media folder.
//
// On one file system the file is renamed (never replacing what is at the target). Across file
// systems it is copied into a hidden file beside the target, flushed, given the target's name, and
// only then is the source removed: the target never shows a partial copy, and the source is never
// removed before a whole copy exists. A move that fails leaves the source where it was.

#include <QString>

namespace Lumora::FilePlacement {

enum class Method {
    Automatic,  // rename when possible, copy across file systems
    CopyOnly,   // always copy and remove (tests; file systems without rename between folders)
};

// True when target now holds the file and source is gone. Fails, changing nothing, when source is
// empty or missing, or target already exists.
bool moveFile(const QString &source, const QString &target, Method method = Method::Automatic);

} // namespace Lumora::FilePlacement
