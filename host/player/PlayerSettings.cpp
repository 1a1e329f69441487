#include "host/player/PlayerSettings.h"

#include "host/lmrlibrary/LMRStringTools.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "lmtl/RefCountedPtr.h"
#include "settings/VexoSettings.h"

#include <QDir>

namespace Lumora::Host::PlayerSettings {

namespace {

const char *groupOf(const QString &name)
{
    return name == QLatin1String(SettingKeys::MediaFolder) ? SettingKeys::GeneralGroup : SettingKeys::DownloadManagerGroup;
}

bool openGroup(const char *group, lmtl::RefCountedPtr<lmds::IVexoSettings> *out)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> component;
    if (!lmds::openSettings(SettingKeys::componentPath(OSUtilities::getComponentIdUTF8()), lmds::kOpenCreateUserWithMachine,
                            component.receive()))
        return false;
    return component->openSubKey(std::string(group), out->receive());
}

bool storedMediaFolder(QString *folder)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> group;
    std::string value;
    if (!openGroup(SettingKeys::GeneralGroup, &group) || !group->getValue(std::string(SettingKeys::MediaFolder), value))
        return false;
    *folder = LMRStringTools::fromStdStringUTF8(value);
    return true;
}

bool storedResume(bool *resume)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> group;
    return openGroup(SettingKeys::DownloadManagerGroup, &group) && group->getValue(std::string(SettingKeys::ResumeDownloadsOnStartup), *resume);
}

bool parseFlag(const QString &text, bool *flag)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("on") || t == QLatin1String("1")) {
        *flag = true;
        return true;
    }
    if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("off") || t == QLatin1String("0")) {
        *flag = false;
        return true;
    }
    return false;
}

} // namespace

QStringList names()
{
    return {QLatin1String(SettingKeys::MediaFolder), QLatin1String(SettingKeys::ResumeDownloadsOnStartup)};
}

QString canonicalName(const QString &name)
{
    for (const QString &known : names()) {
        if (name.compare(known, Qt::CaseInsensitive) == 0)
            return known;
    }
    return QString();
}

QString mediaFolder()
{
    QString folder;
    if (storedMediaFolder(&folder) && !folder.isEmpty())
        return folder;
    return OSUtilities::getVexoMoviesPathDefault();
}

bool resumeDownloadsOnStartup()
{
    bool resume = true;
    storedResume(&resume);
    return resume;
}

bool get(const QString &name, Value *out, QString *error)
{
    if (name == QLatin1String(SettingKeys::MediaFolder)) {
        QString folder;
        out->isDefault = !storedMediaFolder(&folder) || folder.isEmpty();
        out->text = out->isDefault ? OSUtilities::getVexoMoviesPathDefault() : folder;
        return true;
    }
    if (name == QLatin1String(SettingKeys::ResumeDownloadsOnStartup)) {
        bool resume = true;
        out->isDefault = !storedResume(&resume);
        out->text = resume ? QStringLiteral("true") : QStringLiteral("false");
        return true;
    }
    if (error)
        *error = QStringLiteral("unknown setting \"%1\"").arg(name);
    return false;
}

bool set(const QString &name, const QString &value, const QString &baseDirectory, QString *error, bool *usageError)
{
    if (usageError)
        *usageError = false;
    lmtl::RefCountedPtr<lmds::IVexoSettings> group;
    if (name != QLatin1String(SettingKeys::MediaFolder) && name != QLatin1String(SettingKeys::ResumeDownloadsOnStartup)) {
        if (usageError)
            *usageError = true;
        if (error)
            *error = QStringLiteral("unknown setting \"%1\"").arg(name);
        return false;
    }
    if (!openGroup(groupOf(name), &group)) {
        if (error)
            *error = QStringLiteral("cannot open the settings store for %1").arg(name);
        return false;
    }

    bool stored = false;
    if (name == QLatin1String(SettingKeys::MediaFolder)) {
        if (value.isEmpty()) {
            // Back to the default: a missing value and an empty one mean the same to every reader.
            group->deleteValue(std::string(SettingKeys::MediaFolder));
            QString left;
            stored = !storedMediaFolder(&left) || left.isEmpty();
        } else {
            const QString folder = QDir::cleanPath(QDir(baseDirectory.isEmpty() ? QDir::currentPath() : baseDirectory)
                                                       .absoluteFilePath(value));
            // Downloads would fail one by one in a folder that cannot exist; say so now instead.
            if (!QDir().mkpath(folder)) {
                if (error)
                    *error = QStringLiteral("cannot create the folder %1").arg(folder);
                return false;
            }
            stored = group->setValue(std::string(SettingKeys::MediaFolder), LMRStringTools::toStdStringUTF8(folder));
        }
    } else {
        bool flag = true;
        if (!parseFlag(value, &flag)) {
            if (usageError)
                *usageError = true;
            if (error)
                *error = QStringLiteral("%1 takes true or false, not \"%2\"").arg(name, value);
            return false;
        }
        stored = group->setValue(std::string(SettingKeys::ResumeDownloadsOnStartup), flag);
    }
    if (!stored && error)
        *error = QStringLiteral("the settings store did not keep %1").arg(name);
    return stored;
}

bool recordInstallDir(const QString &folder)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> desktop;
    if (!lmds::openSettings(SettingKeys::componentPath(SettingKeys::DesktopServiceComponent), lmds::kOpenCreateUser, desktop.receive()))
        return false;
    const std::string wanted = LMRStringTools::toStdStringUTF8(folder);
    std::string stored;
    if (desktop->getValue(std::string(SettingKeys::InstallDir), stored) && stored == wanted)
        return true;
    return desktop->setValue(std::string(SettingKeys::InstallDir), wanted);
}

} // namespace Lumora::Host::PlayerSettings
