#pragma once
// A shell script the test writes and lumora runs: a player or a completion command that records how
// it was called.

#include <QFile>
#include <QString>

namespace LumoraTest {

// Writes body to path and makes it executable by its owner.
inline bool writeScript(const QString &path, const QString &body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(body.toUtf8());
    file.close();
    return file.setPermissions(file.permissions() | QFile::ExeOwner);
}

} // namespace LumoraTest
