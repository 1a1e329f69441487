#pragma once
// Where the player keeps things, and how much room there is.
//
// Where things live follows one rule, written in platform/UserDirectories.h: the XDG base
// directories, unless LUMORA_HOME names a folder that then holds everything.
//
// All calls are safe from any thread.

#include "host/lmrlibrary/LMRLibraryExport.h"

#include <QString>

#include <cstdint>
#include <string>

namespace Lumora {

class LMRLIBRARY_EXPORT OSUtilities {
public:
    // The default media folder: the user's videos folder + "/Vexo Movies".
    static QString getVexoMoviesPathDefault();

    // The directory downloads are written to until they are complete: below the folder last given to
    // setTempDownloadDirectoryParent, else $XDG_CACHE_HOME/lumora/downloads. Created on demand.
    static QString getTempDownloadDirectoryPath();
    // Puts the temporary download directory below folder (as folder/.incomplete). True when it now
    // lies there; false (and the previous directory stays) when it cannot be created there.
    static bool setTempDownloadDirectoryParent(const QString &folder);
    // The parent last set successfully, empty when none.
    static QString getTempDownloadDirectoryParent();

    // Free and total bytes of the file system holding path (or its nearest existing ancestor).
    // total may be null. False, with nothing written, when the file system cannot be read.
    static bool getFreeSpace(const QString &path, uint64_t *freeBytes, uint64_t *totalBytes);

    // A stable identifier of the running component; settings live under "Settings/" + it.
    // LUMORA_COMPONENT_ID overrides it.
    static std::string getComponentIdUTF8();

    // The base directories, LUMORA_HOME applied.
    static QString homeOverride();         // LUMORA_HOME, empty when unset
    static QString dataDirectory();        // $XDG_DATA_HOME/lumora
    static QString cacheDirectory();       // $XDG_CACHE_HOME/lumora
    static QString videosDirectory();      // $XDG_VIDEOS_DIR or ~/Videos
    static QString libraryDatabasePath();  // dataDirectory() + "/library.db"
};

} // namespace Lumora
