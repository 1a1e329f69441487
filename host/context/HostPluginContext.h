#pragma once
// The host's plugin context: what plugins exist, which are running, and their libraries.
//
// Descriptions come from manifests beside the plugin libraries (PluginManifest.h), read by
// scanPluginFolder(), and from plugin objects the host makes itself (the lumora host's playback
// services and player), registered with registerHostPlugin(). A plugin searching for an interface
// (PluginContext::findPlugin) finds a running plugin, or has createPlugin() load the described library
// with dlopen and call its _getPlugin.
//
// References: each created plugin carries one reference for whoever asked, and one the context keeps,
// so a plugin runs once per description for the context's life; shutdown() gives the context's
// references back, the most recent first. A library is closed (dlclose) only at shutdown, in reverse
// order of loading, and only when every plugin it made has finished deleting itself: closing it
// earlier would pull code out from under a plugin that is still returning from its release. A
// library with a plugin still alive at shutdown (someone never released it) stays loaded.
//
// Threads: descriptions are added before plugins are searched for; everything else may be called
// from any thread. The lists change under the context's recursive mutex; creation is serialised by a
// second recursive mutex, so two threads asking for the same plugin get the same object, and a plugin
// whose construction looks up another plugin may do so.

#include "plugin/PluginContext.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace Lumora {

class HostPluginContext : public VSE::PluginContext {
public:
    // createPlugin's failures, beside the frame's codes.
    enum CreateResult : int32_t {
        HostPluginNotLoadable = 20,  // a description of a host object, which cannot be made again
        LibraryNotLoaded = 21,       // dlopen failed (loadError() says why)
        EntryPointMissing = 22,      // the library exports no _getPlugin
        PluginNotMade = 23,          // _getPlugin answered non-zero or gave no object
    };

    HostPluginContext();
    ~HostPluginContext() override;

    // Reads every *.plugin manifest of folder, in name order. Returns how many descriptions were
    // added; a manifest that cannot be read is skipped, with the reason added to errors.
    int scanPluginFolder(const QString &folder, QStringList *errors = nullptr);
    VSE::PluginInfo *addManifest(const QString &manifestPath, QString *error);
    VSE::PluginInfo *addLibrary(const QString &name, const QString &libraryPath, const QStringList &interfaces);
    // A plugin object the host made; the context takes over the caller's reference.
    VSE::PluginInfo *registerHostPlugin(VSE::Plugin *plugin, const QString &name, const QStringList &interfaces);
    // The first description with that name, null when none.
    VSE::PluginInfo *description(const QString &name) const;

    int32_t createPlugin(VSE::PluginInfo *info, VSE::Plugin **out) override;
    void pluginReleasing(VSE::Plugin *plugin) override;
    void pluginReleased(VSE::Plugin *plugin) override;

    // Gives back the context's references, the most recent first, then closes the libraries whose
    // plugins are all gone, the last loaded first. Safe to call more than once.
    void shutdown();

    // Paths of the libraries loaded now, in loading order.
    QStringList loadedLibraries() const;
    // Why the last dlopen or dlsym failed.
    QString loadError() const;

private:
    struct LoadedLibrary {
        QString path;
        void *handle = nullptr;
        int livePlugins = 0;  // made by it and not yet finished deleting
    };

    VSE::PluginInfo *addDescription(const QString &name, const QString &libraryPath, const QStringList &interfaces);
    LoadedLibrary *load(const QString &path);
    VSE::Plugin *runningInstance(VSE::PluginInfo *info) const;

    std::recursive_mutex m_createMutex;
    std::vector<std::unique_ptr<VSE::PluginInfo>> m_descriptions;  // guarded by mutex()
    QStringList m_manifests;                                       // read already
    std::vector<std::unique_ptr<LoadedLibrary>> m_libraries;        // in loading order
    std::unordered_map<VSE::Plugin *, LoadedLibrary *> m_origins;   // running plugins made from libraries
    std::unordered_map<VSE::Plugin *, LoadedLibrary *> m_releasing; // between releasing and released
    std::vector<VSE::Plugin *> m_held;                              // the context's references, oldest first
    QString m_loadError;
};

} // namespace Lumora
