#pragma once
// What the media library plugin offers its host beyond the MediaManager interfaces, under
// "com.vexo.lumora.hostInterface.MediaLibrary" (listed in the plugin's manifest). The lumora host
// sets the media folder here once it knows the user's setting, and reports a library that could not
// be opened.

#include <QString>

namespace Lumora {

inline constexpr const char MediaLibraryHostText[] = "com.vexo.lumora.hostInterface.MediaLibrary";

class MediaLibraryHostInterface {
public:
    // The folder the file acceptor takes files from; empty returns to the default movies folder.
    virtual void setMediaFolder(const QString &folder) = 0;
    virtual QString mediaFolder() const = 0;
    // Whether the library file could be opened; if not, why (the MediaManager interfaces are then
    // not offered, so plugins run without a library).
    virtual bool isOpen() const = 0;
    virtual QString openError() const = 0;
    virtual QString databasePath() const = 0;
    // Why the library cannot store a change now, as a sentence: it is read-only, another program
    // holds it locked, or the disk that holds it is full; empty when it can.
    virtual QString writeProblem() const = 0;

protected:
    virtual ~MediaLibraryHostInterface() = default;
};

} // namespace Lumora
