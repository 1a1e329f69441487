#pragma once
// A temporary home for one test: LUMORA_HOME and VEXO_REGISTRY_DIR point below a fresh folder that
// is removed afterwards, so no test sees another's files or the user's.

#include <QString>
#include <QTemporaryDir>

#include <cstdlib>

namespace LumoraTest {

class TempHome {
public:
    TempHome()
    {
        m_dir.setAutoRemove(true);
        ::setenv("LUMORA_HOME", m_dir.path().toLocal8Bit().constData(), 1);
        ::setenv("VEXO_REGISTRY_DIR", (m_dir.path() + "/registry").toLocal8Bit().constData(), 1);
    }
    ~TempHome()
    {
        ::unsetenv("LUMORA_HOME");
        ::unsetenv("VEXO_REGISTRY_DIR");
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

} // namespace LumoraTest
