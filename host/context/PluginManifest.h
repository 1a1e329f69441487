#pragma once
// The description of a plugin library, read from a small text file beside it.
//
// A manifest is named <anything>.plugin and lies in the plugin folder. It holds one "key=value" per
// line; blank lines and lines starting with "#" are ignored, and so are keys this host does not know
// (a newer manifest stays readable):
//
//   # Lumora media library
//   name=LumoraMediaLibrary
//   library=libLumoraMediaLibrary.so
//   interface=com.vexo.lumora.pluginInterface.MediaManager
//   interface=com.vexo.lumora.pluginInterface.MediaManagerV2
//
//   library    the shared library exporting _getPlugin; a relative path is taken from the manifest's
//              folder (required, once)
//   name       how the host calls the plugin (optional; default: the manifest's file name without
//              ".plugin")
//   interface  one interface name the plugin answers to getInterface (at least one; exact text, case
//              matters)

#include <QString>
#include <QStringList>

namespace Lumora {

struct PluginManifest {
    QString name;
    QString libraryPath;  // absolute
    QStringList interfaces;

    // False, with the reason in error, when the file cannot be read or describes no usable plugin.
    static bool read(const QString &manifestPath, PluginManifest *out, QString *error);
    static bool parse(const QByteArray &text, const QString &manifestPath, PluginManifest *out, QString *error);
};

} // namespace Lumora
