#pragma once
// The settings the player reads and changes (named in plugin/SettingKeys.h): the media folder and
// whether the queue runs when the player starts, opened the way the plugin opens them (per user,
// created when missing, machine-wide fallback). Fresh settings objects are opened for every call:
// they are not to be shared between threads.

#include "plugin/SettingKeys.h"

#include <QString>
#include <QStringList>

namespace Lumora::Host::PlayerSettings {

struct Value {
    QString text;         // as the user reads and writes it
    bool isDefault = true;  // nothing stored: the text is the default
};

// The folder finished downloads go to: the setting, or the default movies folder when it is
// missing or empty.
QString mediaFolder();
bool resumeDownloadsOnStartup();

// The settings a person may read and change, in the order they are shown.
QStringList names();
// The canonical spelling of one of names(), matched without case; empty when unknown.
QString canonicalName(const QString &name);

// name is a canonical setting name. False with a reason for a setting that cannot
// be read or stored.
bool get(const QString &name, Value *out, QString *error);
// value: MediaFolder takes a folder (relative to baseDirectory; created when missing; empty
// returns to the default); ResumeDownloadsOnStartup takes true/false, yes/no, on/off or 1/0.
// usageError is set when the value itself is wrong (as opposed to the store failing).
bool set(const QString &name, const QString &value, const QString &baseDirectory, QString *error, bool *usageError);

// The player's installation folder (the desktop service's install directory setting): where
// the download manager looks for the download engine when the system's library search does not
// find it (an installed player, a run under a sanitizer). Written only when it changes.
bool recordInstallDir(const QString &folder);

} // namespace Lumora::Host::PlayerSettings
