#pragma once
// The verbose channel: one line per event that lets someone follow a download's life (each status
// transition, each retry), for hosts that show it (lumora --verbose) and for tests. Nothing is
// written anywhere until a host installs a sink: the player logs nothing by default.

#include "host/lmrlibrary/LMRLibraryExport.h"

#include <QString>

#include <functional>

namespace Lumora {

class LMRLIBRARY_EXPORT VerboseLog {
public:
    using Sink = std::function<void(const QString &line)>;

    // From any thread; the sink runs on the calling thread, so lines keep the order of their events.
    static void write(const QString &line);
    // Replaces the sink and returns the previous one; an empty sink turns the channel off.
    static Sink setSink(Sink sink);
};

} // namespace Lumora
