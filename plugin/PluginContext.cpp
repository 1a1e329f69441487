#include "plugin/PluginContext.h"

#include <algorithm>

namespace VSE {

bool PluginInfo::providesInterface(const AllocatedString<char> &name) const
{
    return std::any_of(m_interfaceNames.begin(), m_interfaceNames.end(),
                       [&](const AllocatedString<char> &provided) { return provided == name; });
}

namespace {

// The selector decides between the current choice and each later candidate, in list order.
template <class T, class DescriptionOf>
T *choose(const std::vector<T *> &candidates, const PluginContext::AbstractPluginInfoSelector &selector,
          DescriptionOf description)
{
    T *chosen = nullptr;
    for (T *candidate : candidates) {
        if (!chosen || selector(*description(chosen), *description(candidate)))
            chosen = candidate;
    }
    return chosen;
}

} // namespace

int32_t PluginContext::findPlugin(Plugin **out, const AbstractPluginInfoFilter &filter,
                                  const AbstractPluginInfoSelector &selector, bool loadIfNeeded)
{
    if (!out)
        return PluginNullOut;

    {
        // Copy, filter, choose and retain under the mutex: a plugin that another thread releases
        // takes the same mutex to leave the list, so whatever we retain here is still alive.
        std::lock_guard lock(m_mutex);
        std::vector<Plugin *> matching;
        for (Plugin *plugin : m_instantiatedPlugins) {
            PluginInfo *info = plugin->getPluginInfo();
            if (info && filter(*info))
                matching.push_back(plugin);
        }
        if (Plugin *chosen = choose(matching, selector, [](Plugin *p) { return p->getPluginInfo(); })) {
            *out = chosen;
            chosen->retain();
            return PluginOk;
        }
    }
    if (!loadIfNeeded)
        return PluginNotAvailable;

    // Descriptions live as long as the context; only the list itself needs the mutex.
    std::vector<PluginInfo *> matching;
    {
        std::lock_guard lock(m_mutex);
        for (PluginInfo *info : m_availablePlugins) {
            if (info && filter(*info))
                matching.push_back(info);
        }
    }
    PluginInfo *chosen = choose(matching, selector, [](PluginInfo *info) { return info; });
    if (!chosen)
        return PluginNotAvailable;
    return createPlugin(chosen, out);
}

void PluginContext::addAvailablePlugin(PluginInfo *info)
{
    std::lock_guard lock(m_mutex);
    m_availablePlugins.push_back(info);
}

void PluginContext::addInstantiatedPlugin(Plugin *plugin)
{
    std::lock_guard lock(m_mutex);
    m_instantiatedPlugins.push_back(plugin);
}

bool PluginContext::removeInstantiatedPlugin(Plugin *plugin)
{
    std::lock_guard lock(m_mutex);
    auto it = std::find(m_instantiatedPlugins.begin(), m_instantiatedPlugins.end(), plugin);
    if (it == m_instantiatedPlugins.end())
        return false;
    m_instantiatedPlugins.erase(it);
    return true;
}

std::vector<Plugin *> PluginContext::instantiatedPlugins() const
{
    std::lock_guard lock(m_mutex);
    return m_instantiatedPlugins;
}

} // namespace VSE
