#pragma once
// The host's plugin context as plugins see it.
//
// The host describes every plugin it knows with a PluginInfo (the interface names it provides) and
// keeps two lists: the descriptions available, and the plugin objects instantiated. A plugin that
// needs an interface of another searches these lists with findPlugin(), steered by a filter (which
// descriptions qualify) and a selector (which of several wins), and may have the host create the
// plugin on demand. The lists are guarded by the context's recursive mutex; the host takes the same
// mutex whenever it changes them, so a search never sees a freed entry.

#include "plugin/AllocatedString.h"
#include "plugin/Plugin.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace VSE {

class PluginInfo {
public:
    PluginInfo() = default;
    virtual ~PluginInfo() = default;

    void addInterfaceName(const char *name) { m_interfaceNames.emplace_back(name); }
    const std::vector<AllocatedString<char>> &interfaceNames() const { return m_interfaceNames; }
    bool providesInterface(const AllocatedString<char> &name) const;

    // What the host records about where the plugin comes from; plugins never read these.
    std::string name;
    std::string libraryPath;

private:
    std::vector<AllocatedString<char>> m_interfaceNames;
};

class PluginContext {
public:
    class AbstractPluginInfoFilter {
    public:
        virtual ~AbstractPluginInfoFilter() = default;
        virtual bool operator()(const PluginInfo &info) const = 0;
    };

    // Holds when the description lists the interface name exactly (case-sensitive).
    class PluginInterfaceFilter : public AbstractPluginInfoFilter {
    public:
        explicit PluginInterfaceFilter(const AllocatedString<char> &name) : m_name(name) {}
        bool operator()(const PluginInfo &info) const override { return info.providesInterface(m_name); }
        const AllocatedString<char> &name() const { return m_name; }

    private:
        AllocatedString<char> m_name;
    };

    class AbstractPluginInfoSelector {
    public:
        virtual ~AbstractPluginInfoSelector() = default;
        // True when candidate is to replace current.
        virtual bool operator()(const PluginInfo &current, const PluginInfo &candidate) const = 0;
    };

    // Settles on the description at the lowest address: deterministic for one run of the host.
    class SimplePluginInfoSelector : public AbstractPluginInfoSelector {
    public:
        bool operator()(const PluginInfo &current, const PluginInfo &candidate) const override
        {
            return reinterpret_cast<std::uintptr_t>(&candidate) < reinterpret_cast<std::uintptr_t>(&current);
        }
    };

    PluginContext() = default;
    virtual ~PluginContext() = default;
    PluginContext(const PluginContext &) = delete;
    PluginContext &operator=(const PluginContext &) = delete;

    // 0 when the plugin was created; out then holds it with one reference for the caller.
    virtual int32_t createPlugin(PluginInfo *info, Plugin **out) = 0;
    // Called by a plugin about to delete itself, and again with the same (then dangling) pointer after.
    virtual void pluginReleasing(Plugin *plugin) = 0;
    virtual void pluginReleased(Plugin *plugin) = 0;

    // Finds a plugin providing what the filter asks for.
    //   0: out holds an instantiated (or, with loadIfNeeded, newly created) plugin, retained for the caller
    //   1: out is null
    //   3: nothing matched
    //   other: createPlugin's own failure code
    int32_t findPlugin(Plugin **out, const AbstractPluginInfoFilter &filter,
                       const AbstractPluginInfoSelector &selector, bool loadIfNeeded);

    // For hosts: the two lists, changed under the context's mutex.
    void addAvailablePlugin(PluginInfo *info);
    void addInstantiatedPlugin(Plugin *plugin);
    bool removeInstantiatedPlugin(Plugin *plugin);
    std::vector<Plugin *> instantiatedPlugins() const;
    std::recursive_mutex &mutex() const { return m_mutex; }

private:
    std::vector<PluginInfo *> m_availablePlugins;
    std::vector<Plugin *> m_instantiatedPlugins;
    mutable std::recursive_mutex m_mutex;
};

using PluginInterfaceFilter = PluginContext::PluginInterfaceFilter;
using SimplePluginInfoSelector = PluginContext::SimplePluginInfoSelector;

} // namespace VSE
