#pragma once
// The settings the player reads and a person changes with "lumora config", as one table: each
// setting's name, where the settings store keeps it, its type (which says how a value is read,
// checked and shown), its default and its help. A new setting is one more entry in the table.
//
// The plugin's settings are named in plugin/SettingKeys.h; the player's own (what happens when a
// download ends) are named here. They are opened the way the plugin opens its own (per user,
// created when missing, machine-wide fallback). Fresh settings objects are opened for every call:
// they are not to be shared between threads.

#include "plugin/SettingKeys.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace Lumora::Host::PlayerSettings {

// The player's own group, below the player's component, and its settings.
inline constexpr char PlayerGroup[] = "Player";
inline constexpr char OnDownloadComplete[] = "OnDownloadComplete";
inline constexpr char DesktopNotifications[] = "DesktopNotifications";

enum class Type {
    Folder,   // a folder, relative to where lumora runs, created when missing; empty: the default
    Flag,     // true/false, yes/no, on/off, 1/0
    Command,  // a program and its arguments, started without a shell; empty: none
    Rate,     // bytes per second with an optional K, M or G (binary); 0: no limit
    Size,     // bytes with an optional K, M or G (binary)
    Count,    // a whole number from 0
    Seconds,  // a whole number of seconds from 0
};

struct Setting {
    const char *name;
    // The component the setting is stored under: empty for the player's own (the host library's
    // component id), else a named one (SettingKeys::DesktopServiceComponent).
    const char *component;
    const char *group;  // empty: the component's own key
    Type type;
    QString defaultText;  // as "config get" shows it; a Folder's default is worked out when read
    QString help;
    // The values a Rate, Count or Seconds setting takes; 0 always stands for "none" of a Rate.
    uint64_t minimum = 0;
    uint64_t maximum = UINT64_MAX;
};

// Every setting, in the order "config get" shows them.
const std::vector<Setting> &table();
// The table entry of a canonical name; null when unknown.
const Setting *find(const QString &name);

struct Value {
    QString text;           // as the user reads and writes it
    bool isDefault = true;  // nothing stored: the text is the default
};

// The settings a person may read and change, in the order they are shown.
QStringList names();
// The canonical spelling of one of names(), matched without case; empty when unknown.
QString canonicalName(const QString &name);

// name is a canonical setting name. False with a reason for a setting that cannot be read (the
// store is damaged or unreadable) or is unknown; out then holds the default.
bool get(const QString &name, Value *out, QString *error);
// value is read as the setting's type says (baseDirectory resolves a relative folder). usageError
// is set when the value itself is wrong (as opposed to the store failing).
bool set(const QString &name, const QString &value, const QString &baseDirectory, QString *error, bool *usageError);

// The typed readers the player uses. Each falls back to the default when the store cannot be read.
// The folder finished downloads go to: the setting, or the default movies folder.
QString mediaFolder();
bool resumeDownloadsOnStartup();
QString onDownloadComplete();
bool desktopNotifications();

// The first time a reader above met a store it could not read: a warning naming the setting and
// the default used instead. Empty afterwards, and when every read succeeded: warn once.
QString takeReadWarning();

// "512", "64K", "1.5M", "2G": bytes per second (binary multiples). False for anything else.
bool parseRate(const QString &text, uint64_t *bytesPerSecond);
// A rate as parseRate reads it back: "0", "512", "64K", "2M".
QString formatRate(uint64_t bytesPerSecond);

// The player's installation folder (the desktop service's install directory setting): where
// the download manager looks for the download engine when the system's library search does not
// find it (an installed player, a run under a sanitizer). Written only when it changes.
bool recordInstallDir(const QString &folder);

} // namespace Lumora::Host::PlayerSettings
