#include "host/player/Home.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

namespace Lumora::Host {

bool applyHome(const QString &home, QString *error)
{
    const QString absolute = QDir::cleanPath(QDir(home).absolutePath());
    if (!QDir().mkpath(absolute)) {
        if (error)
            *error = QStringLiteral("cannot create the home folder %1").arg(absolute);
        return false;
    }
    ::setenv("LUMORA_HOME", QFile::encodeName(absolute).constData(), 1);
    // --home is the one switch: registry hives named elsewhere by the environment would leave the
    // settings of this home in someone else's.
    ::setenv("VEXO_REGISTRY_DIR", QFile::encodeName(absolute + QStringLiteral("/registry")).constData(), 1);
    return true;
}

} // namespace Lumora::Host
