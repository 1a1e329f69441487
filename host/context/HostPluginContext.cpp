#include "host/context/HostPluginContext.h"

#include "host/context/PluginManifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <dlfcn.h>

namespace Lumora {

HostPluginContext::HostPluginContext() = default;

HostPluginContext::~HostPluginContext()
{
    shutdown();
}

VSE::PluginInfo *HostPluginContext::addDescription(const QString &name, const QString &libraryPath,
                                                   const QStringList &interfaces)
{
    auto info = std::make_unique<VSE::PluginInfo>();
    info->name = name.toStdString();
    info->libraryPath = QFile::encodeName(libraryPath).toStdString();
    for (const QString &interface : interfaces)
        info->addInterfaceName(interface.toUtf8().constData());
    VSE::PluginInfo *raw = info.get();
    {
        std::lock_guard lock(mutex());
        m_descriptions.push_back(std::move(info));
    }
    addAvailablePlugin(raw);
    return raw;
}

int HostPluginContext::scanPluginFolder(const QString &folder, QStringList *errors)
{
    const QDir dir(folder);
    int added = 0;
    for (const QString &entry : dir.entryList({QStringLiteral("*.plugin")}, QDir::Files | QDir::Readable, QDir::Name)) {
        QString error;
        if (addManifest(dir.absoluteFilePath(entry), &error))
            ++added;
        else if (errors && !error.isEmpty())
            *errors << error;
    }
    return added;
}

VSE::PluginInfo *HostPluginContext::addManifest(const QString &manifestPath, QString *error)
{
    const QString path = QFileInfo(manifestPath).absoluteFilePath();
    {
        std::lock_guard lock(mutex());
        if (m_manifests.contains(path)) {
            if (error)
                error->clear();
            return nullptr;  // read already: one description per manifest
        }
        m_manifests << path;
    }
    PluginManifest manifest;
    QString scratch;
    if (!PluginManifest::read(path, &manifest, error ? error : &scratch))
        return nullptr;
    return addDescription(manifest.name, manifest.libraryPath, manifest.interfaces);
}

VSE::PluginInfo *HostPluginContext::addLibrary(const QString &name, const QString &libraryPath,
                                               const QStringList &interfaces)
{
    if (libraryPath.isEmpty())
        return nullptr;
    return addDescription(name, QFileInfo(libraryPath).absoluteFilePath(), interfaces);
}

VSE::PluginInfo *HostPluginContext::registerHostPlugin(VSE::Plugin *plugin, const QString &name,
                                                       const QStringList &interfaces)
{
    if (!plugin)
        return nullptr;
    VSE::PluginInfo *info = addDescription(name, QString(), interfaces);
    plugin->setPluginInfo(info);
    std::lock_guard lock(mutex());
    addInstantiatedPlugin(plugin);
    m_held.push_back(plugin);
    return info;
}

VSE::PluginInfo *HostPluginContext::description(const QString &name) const
{
    const std::string wanted = name.toStdString();
    std::lock_guard lock(mutex());
    for (const auto &info : m_descriptions) {
        if (info->name == wanted)
            return info.get();
    }
    return nullptr;
}

VSE::Plugin *HostPluginContext::runningInstance(VSE::PluginInfo *info) const
{
    for (VSE::Plugin *plugin : instantiatedPlugins()) {
        if (plugin->getPluginInfo() == info)
            return plugin;
    }
    return nullptr;
}

HostPluginContext::LoadedLibrary *HostPluginContext::load(const QString &path)
{
    {
        std::lock_guard lock(mutex());
        for (const auto &library : m_libraries) {
            if (library->path == path && library->handle)
                return library.get();
        }
    }
    // RTLD_LOCAL: every plugin keeps its own copy of the frame and its own allocators.
    void *handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    std::lock_guard lock(mutex());
    if (!handle) {
        const char *reason = ::dlerror();
        m_loadError = QStringLiteral("cannot load %1: %2").arg(path, QString::fromLocal8Bit(reason ? reason : "unknown error"));
        return nullptr;
    }
    auto library = std::make_unique<LoadedLibrary>();
    library->path = path;
    library->handle = handle;
    m_libraries.push_back(std::move(library));
    return m_libraries.back().get();
}

int32_t HostPluginContext::createPlugin(VSE::PluginInfo *info, VSE::Plugin **out)
{
    if (!out)
        return VSE::PluginNullOut;
    if (!info)
        return VSE::PluginNotAvailable;
    std::lock_guard creating(m_createMutex);
    // Another thread may have made it since its search came up empty.
    {
        std::lock_guard lock(mutex());
        if (VSE::Plugin *running = runningInstance(info)) {
            running->retain();
            *out = running;
            return VSE::PluginOk;
        }
    }
    if (info->libraryPath.empty())
        return HostPluginNotLoadable;
    LoadedLibrary *library = load(QFile::decodeName(QByteArray::fromStdString(info->libraryPath)));
    if (!library)
        return LibraryNotLoaded;
    auto entry = reinterpret_cast<GetPluginFunction>(::dlsym(library->handle, "_getPlugin"));
    if (!entry) {
        std::lock_guard lock(mutex());
        m_loadError = QStringLiteral("%1 exports no _getPlugin").arg(library->path);
        return EntryPointMissing;
    }
    VSE::Plugin *plugin = nullptr;
    if (entry(this, &plugin) != 0 || !plugin)
        return PluginNotMade;
    plugin->setPluginInfo(info);
    {
        std::lock_guard lock(mutex());
        m_origins[plugin] = library;
        ++library->livePlugins;
        addInstantiatedPlugin(plugin);
        m_held.push_back(plugin);
    }
    plugin->retain();  // the context's; the one _getPlugin made is the caller's
    *out = plugin;
    return VSE::PluginOk;
}

void HostPluginContext::pluginReleasing(VSE::Plugin *plugin)
{
    std::lock_guard lock(mutex());
    removeInstantiatedPlugin(plugin);
    // A plugin released past the context's own reference must not be released again at shutdown.
    m_held.erase(std::remove(m_held.begin(), m_held.end(), plugin), m_held.end());
    auto origin = m_origins.find(plugin);
    if (origin != m_origins.end()) {
        // Kept apart until the object is gone: its address may be reused by the next plugin made.
        m_releasing[plugin] = origin->second;
        m_origins.erase(origin);
    }
}

void HostPluginContext::pluginReleased(VSE::Plugin *plugin)
{
    std::lock_guard lock(mutex());
    auto releasing = m_releasing.find(plugin);
    if (releasing != m_releasing.end()) {
        --releasing->second->livePlugins;
        m_releasing.erase(releasing);
    }
}

void HostPluginContext::shutdown()
{
    std::vector<VSE::Plugin *> held;
    {
        std::lock_guard lock(mutex());
        held.swap(m_held);
    }
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        (*it)->release();

    std::lock_guard lock(mutex());
    for (auto it = m_libraries.rbegin(); it != m_libraries.rend(); ++it) {
        LoadedLibrary &library = **it;
        if (library.handle && library.livePlugins == 0) {
            ::dlclose(library.handle);
            library.handle = nullptr;
        }
    }
}

QStringList HostPluginContext::loadedLibraries() const
{
    std::lock_guard lock(mutex());
    QStringList paths;
    for (const auto &library : m_libraries) {
        if (library->handle)
            paths << library->path;
    }
    return paths;
}

QString HostPluginContext::loadError() const
{
    std::lock_guard lock(mutex());
    return m_loadError;
}

} // namespace Lumora
