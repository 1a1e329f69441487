#include "host/player/PlayerSettings.h"

#include "host/lmrlibrary/LMRStringTools.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "lmtl/RefCountedPtr.h"
#include "settings/VexoSettings.h"
#include "vdm/VexoDownloadManager.h"

#include <QDir>
#include <QProcess>

#include <cmath>
#include <mutex>

namespace Lumora::Host::PlayerSettings {

namespace {

using SettingsPtr = lmtl::RefCountedPtr<lmds::IVexoSettings>;

constexpr uint64_t kKibi = 1024;

const std::vector<Setting> kTable = {
    {SettingKeys::MediaFolder, "", SettingKeys::GeneralGroup, Type::Folder, QString(),
     QStringLiteral("where finished downloads go; a folder relative to where lumora runs is made absolute, and one "
                    "that is missing is created; an empty value returns to the default")},
    {SettingKeys::ResumeDownloadsOnStartup, "", SettingKeys::DownloadManagerGroup, Type::Flag,
     SettingKeys::ResumeDownloadsOnStartupDefault ? QStringLiteral("true") : QStringLiteral("false"),
     QStringLiteral("whether the queue runs as soon as a player starts; when off, it waits for \"lumora resume\"")},
    {OnDownloadComplete, "", PlayerGroup, Type::Command, QString(),
     QStringLiteral("a program (with its arguments; double quotes keep spaces) run whenever a download ends, without a "
                    "shell; it finds LUMORA_ID, LUMORA_STATUS, LUMORA_TITLE, LUMORA_FILE, LUMORA_SOURCE, "
                    "LUMORA_REASON, LUMORA_REASON_KIND and LUMORA_HTTP_STATUS in its environment")},
    {DesktopNotifications, "", PlayerGroup, Type::Flag, QStringLiteral("true"),
     QStringLiteral("whether a desktop notification says when a download ends (when the desktop offers them)")},
    // The download engine's own settings: it reads them at every start of a transfer and once a
    // second while one runs, so a change reaches a running download within a second.
    {VDM_SETTING_MAX_DOWNLOAD_RATE, VDM_SETTINGS_COMPONENT, "", Type::Rate, formatRate(VDM_MAX_DOWNLOAD_RATE_DEFAULT),
     QStringLiteral("the most all downloads together may receive, in bytes per second (500K, 2M, ...); 0 for no "
                    "limit. \"get --limit-rate\" and \"run --limit-rate\" set it for one player only"),
     VDM_MAX_DOWNLOAD_RATE_MIN, VDM_MAX_DOWNLOAD_RATE_MAX},
    {VDM_SETTING_MAX_CONNECTIONS, VDM_SETTINGS_COMPONENT, "", Type::Count, QString::number(VDM_MAX_CONNECTIONS_DEFAULT),
     QStringLiteral("how many connections one download may open to a server that allows it (1 to 16); 1 fetches "
                    "every file over one connection"),
     VDM_MAX_CONNECTIONS_MIN, VDM_MAX_CONNECTIONS_MAX},
    {VDM_SETTING_SEGMENT_MINIMUM_SIZE, VDM_SETTINGS_COMPONENT, "", Type::Size,
     formatRate(VDM_SEGMENT_MINIMUM_SIZE_DEFAULT),
     QStringLiteral("how large a file must be (16M, ...) before it is fetched over several connections"),
     VDM_SEGMENT_MINIMUM_SIZE_MIN, VDM_SEGMENT_MINIMUM_SIZE_MAX},
    {VDM_SETTING_RETRY_LIMIT, VDM_SETTINGS_COMPONENT, "", Type::Count, QString::number(VDM_RETRY_LIMIT_DEFAULT),
     QStringLiteral("how many tries in a row a download makes after a passing fault (a lost connection, a busy "
                    "server) before it fails; 1 tries once"),
     VDM_RETRY_LIMIT_MIN, VDM_RETRY_LIMIT_MAX},
    {VDM_SETTING_RETRY_TIME_LIMIT, VDM_SETTINGS_COMPONENT, "", Type::Seconds, QString::number(VDM_RETRY_TIME_LIMIT_DEFAULT),
     QStringLiteral("for how many seconds a download goes on trying after a passing fault before it fails"),
     VDM_RETRY_TIME_LIMIT_MIN, VDM_RETRY_TIME_LIMIT_MAX},
};

struct ReadWarning {
    std::mutex mutex;
    QString text;
    bool given = false;
};

ReadWarning &readWarning()
{
    static ReadWarning warning;
    return warning;
}

void noteUnread(const Setting &setting, const QString &fallback)
{
    ReadWarning &warning = readWarning();
    std::lock_guard lock(warning.mutex);
    if (!warning.given && warning.text.isEmpty())
        warning.text = QStringLiteral("the setting %1 could not be read (the settings store is damaged or unreadable); "
                                      "using %2 until it is repaired")
                           .arg(QLatin1String(setting.name), fallback.isEmpty() ? QStringLiteral("no value") : fallback);
}

bool openGroup(const Setting &setting, SettingsPtr *out)
{
    const std::string component = *setting.component ? std::string(setting.component) : OSUtilities::getComponentIdUTF8();
    SettingsPtr key;
    if (!lmds::openSettings(SettingKeys::componentPath(component), lmds::kOpenCreateUserWithMachine, key.receive()))
        return false;
    if (!*setting.group) {
        *out = key;
        return true;
    }
    return key->openSubKey(std::string(setting.group), out->receive());
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

bool parseCount(const QString &text, uint64_t *count)
{
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok, 10);
    if (!ok || text.trimmed().startsWith('+'))
        return false;
    *count = value;
    return true;
}

QString defaultTextOf(const Setting &setting)
{
    return setting.type == Type::Folder ? OSUtilities::getVexoMoviesPathDefault() : setting.defaultText;
}

// The stored value as text; false when nothing usable is stored. unreadable tells a store that
// could not be opened from a value that is simply missing.
bool readStored(const Setting &setting, QString *text, bool *unreadable)
{
    *unreadable = false;
    SettingsPtr group;
    if (!openGroup(setting, &group)) {
        *unreadable = true;
        return false;
    }
    const std::string key(setting.name);
    switch (setting.type) {
    case Type::Folder:
    case Type::Command: {
        std::string value;
        if (!group->getValue(key, value) || value.empty())
            return false;
        *text = LMRStringTools::fromStdStringUTF8(value);
        return true;
    }
    case Type::Flag: {
        bool value = false;
        if (!group->getValue(key, value))
            return false;
        *text = value ? QStringLiteral("true") : QStringLiteral("false");
        return true;
    }
    case Type::Rate:
    case Type::Size:
    case Type::Count:
    case Type::Seconds: {
        uint64_t value = 0;
        if (!group->getValue(key, value))
            return false;
        *text = setting.type == Type::Rate || setting.type == Type::Size ? formatRate(value) : QString::number(value);
        return true;
    }
    }
    return false;
}

Value read(const Setting &setting, bool *unreadable)
{
    Value value;
    QString stored;
    value.isDefault = !readStored(setting, &stored, unreadable);
    value.text = value.isDefault ? defaultTextOf(setting) : stored;
    return value;
}

// Reads for the player's own use: an unreadable store is warned about once, the default used.
Value readForUse(const char *name)
{
    const Setting *setting = find(QLatin1String(name));
    bool unreadable = false;
    const Value value = read(*setting, &unreadable);
    if (unreadable)
        noteUnread(*setting, value.text);
    return value;
}

QString typeHint(Type type)
{
    switch (type) {
    case Type::Flag: return QStringLiteral("true or false");
    case Type::Rate: return QStringLiteral("bytes per second such as 500K, 2M or 0 for no limit");
    case Type::Size: return QStringLiteral("a size in bytes such as 16M or 1G");
    case Type::Count: return QStringLiteral("a whole number from 0");
    case Type::Seconds: return QStringLiteral("a whole number of seconds");
    case Type::Folder: return QStringLiteral("a folder");
    case Type::Command: return QStringLiteral("a program and its arguments");
    }
    return QString();
}

} // namespace

const std::vector<Setting> &table()
{
    return kTable;
}

const Setting *find(const QString &name)
{
    for (const Setting &setting : kTable) {
        if (name == QLatin1String(setting.name))
            return &setting;
    }
    return nullptr;
}

QStringList names()
{
    QStringList list;
    for (const Setting &setting : kTable)
        list << QLatin1String(setting.name);
    return list;
}

QString canonicalName(const QString &name)
{
    for (const QString &known : names()) {
        if (name.compare(known, Qt::CaseInsensitive) == 0)
            return known;
    }
    return QString();
}

bool get(const QString &name, Value *out, QString *error)
{
    const Setting *setting = find(name);
    if (!setting) {
        if (error)
            *error = QStringLiteral("unknown setting \"%1\"").arg(name);
        return false;
    }
    bool unreadable = false;
    *out = read(*setting, &unreadable);
    if (unreadable) {
        if (error)
            *error = QStringLiteral("the setting %1 could not be read: the settings store is damaged or unreadable "
                                    "(the message above names its file)")
                         .arg(name);
        return false;
    }
    return true;
}

bool set(const QString &name, const QString &value, const QString &baseDirectory, QString *error, bool *usageError)
{
    if (usageError)
        *usageError = false;
    const auto refuse = [&](const QString &why, bool usage) {
        if (usageError)
            *usageError = usage;
        if (error)
            *error = why;
        return false;
    };
    const Setting *setting = find(name);
    if (!setting)
        return refuse(QStringLiteral("unknown setting \"%1\"").arg(name), true);

    // Checked before the store is opened: a wrong value is the user's to fix whatever the store.
    const std::string key(setting->name);
    QString folder;
    bool flag = false;
    uint64_t number = 0;
    const bool clearing = value.trimmed().isEmpty() && (setting->type == Type::Folder || setting->type == Type::Command);
    if (!clearing) {
        bool fine = true;
        switch (setting->type) {
        case Type::Folder:
            folder = QDir::cleanPath(QDir(baseDirectory.isEmpty() ? QDir::currentPath() : baseDirectory).absoluteFilePath(value));
            // Downloads would fail one by one in a folder that cannot exist; say so now instead.
            if (!QDir().mkpath(folder))
                return refuse(QStringLiteral("cannot create the folder %1").arg(folder), false);
            break;
        case Type::Command:
            fine = !QProcess::splitCommand(value).isEmpty();
            break;
        case Type::Flag:
            fine = parseFlag(value, &flag);
            break;
        case Type::Rate:
        case Type::Size:
            fine = parseRate(value, &number);
            break;
        case Type::Count:
        case Type::Seconds:
            fine = parseCount(value, &number);
            break;
        }
        if (!fine)
            return refuse(QStringLiteral("%1 takes %2, not \"%3\"").arg(name, typeHint(setting->type), value), true);
        const bool none = setting->type == Type::Rate && number == 0;
        if (!none && (number < setting->minimum || number > setting->maximum)) {
            const auto shown = [&](uint64_t n) {
                return setting->type == Type::Rate || setting->type == Type::Size ? formatRate(n) : QString::number(n);
            };
            return refuse(QStringLiteral("%1 takes a value from %2 to %3, not \"%4\"")
                              .arg(name, shown(setting->minimum), shown(setting->maximum), value),
                          true);
        }
    }

    SettingsPtr group;
    if (!openGroup(*setting, &group))
        return refuse(QStringLiteral("cannot open the settings store for %1").arg(name), false);
    bool stored = false;
    if (clearing) {
        // Back to the default: a missing value and an empty one mean the same to every reader.
        group->deleteValue(key);
        QString left;
        bool unreadable = false;
        stored = !readStored(*setting, &left, &unreadable) && !unreadable;
    } else {
        switch (setting->type) {
        case Type::Folder:
            stored = group->setValue(key, LMRStringTools::toStdStringUTF8(folder));
            break;
        case Type::Command:
            stored = group->setValue(key, LMRStringTools::toStdStringUTF8(value.trimmed()));
            break;
        case Type::Flag:
            stored = group->setValue(key, flag);
            break;
        case Type::Rate:
        case Type::Size:
        case Type::Count:
        case Type::Seconds:
            stored = group->setValue(key, number);
            break;
        }
    }
    if (!stored)
        return refuse(QStringLiteral("the settings store did not keep %1").arg(name), false);
    return true;
}

QString mediaFolder()
{
    return readForUse(SettingKeys::MediaFolder).text;
}

bool resumeDownloadsOnStartup()
{
    bool flag = SettingKeys::ResumeDownloadsOnStartupDefault;
    parseFlag(readForUse(SettingKeys::ResumeDownloadsOnStartup).text, &flag);
    return flag;
}

QString onDownloadComplete()
{
    return readForUse(OnDownloadComplete).text;
}

bool desktopNotifications()
{
    bool flag = true;
    parseFlag(readForUse(DesktopNotifications).text, &flag);
    return flag;
}

QString takeReadWarning()
{
    ReadWarning &warning = readWarning();
    std::lock_guard lock(warning.mutex);
    if (warning.given || warning.text.isEmpty())
        return QString();
    warning.given = true;
    return warning.text;
}

bool parseRate(const QString &text, uint64_t *bytesPerSecond)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    uint64_t multiple = 1;
    const QChar unit = t.back().toUpper();
    if (unit == 'K' || unit == 'M' || unit == 'G') {
        multiple = unit == 'K' ? kKibi : unit == 'M' ? kKibi * kKibi : kKibi * kKibi * kKibi;
        t.chop(1);
    }
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || t.startsWith('+') || t.contains('e', Qt::CaseInsensitive))
        return false;
    const double bytes = value * static_cast<double>(multiple);
    if (bytes >= 18e18)
        return false;
    *bytesPerSecond = static_cast<uint64_t>(std::llround(bytes));
    return true;
}

QString formatRate(uint64_t bytesPerSecond)
{
    for (const auto &[multiple, suffix] : {std::pair{kKibi * kKibi * kKibi, 'G'}, {kKibi * kKibi, 'M'}, {kKibi, 'K'}}) {
        if (bytesPerSecond >= multiple && bytesPerSecond % multiple == 0)
            return QString::number(bytesPerSecond / multiple) + QChar(suffix);
    }
    return QString::number(bytesPerSecond);
}

bool recordInstallDir(const QString &folder)
{
    SettingsPtr desktop;
    if (!lmds::openSettings(SettingKeys::componentPath(SettingKeys::DesktopServiceComponent), lmds::kOpenCreateUser, desktop.receive()))
        return false;
    const std::string wanted = LMRStringTools::toStdStringUTF8(folder);
    std::string stored;
    if (desktop->getValue(std::string(SettingKeys::InstallDir), stored) && stored == wanted)
        return true;
    return desktop->setValue(std::string(SettingKeys::InstallDir), wanted);
}

} // namespace Lumora::Host::PlayerSettings
