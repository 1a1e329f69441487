#pragma once
// What the queue commands share, in a running player (on its operation thread) and without one
// (straight on the library file): finding an item, naming it, and opening the library.

#include "host/cli/CommandLine.h"
#include "host/medialibrary/MediaLibrary.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace Lumora::Cli {

using ItemPtr = lmtl::RefCountedPtr<MediaManagerInterface::QueuedFileInterface>;
using PlaylistPtr = lmtl::RefCountedPtr<MediaManagerInterface::PlaylistInterface>;

// "[id] title", as every line about a download names it.
QString itemLabel(uint64_t id, const QString &title);
QString itemLabel(MediaManagerInterface::QueuedFileInterface *item);

// The error for an id the library does not know.
QString noSuchDownload(uint64_t id);

// False, after saying so, when the library has no item with that id.
bool findItem(MediaManagerInterface::MediaManager *library, uint64_t id, ItemPtr *item, Output &output);

// The download queue; null without a library.
PlaylistPtr queueOf(MediaManagerInterface::MediaManager *library);

// Whether this home has a library file at all: reading commands must not create one.
bool libraryExists();
// This home's library, for a command that works on it while no player runs; null after saying why.
std::unique_ptr<MediaLibrary> openLibrary(bool readOnly, Output &output);

} // namespace Lumora::Cli
