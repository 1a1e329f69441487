#include "tests/support/TestHostContext.h"

#include <algorithm>

namespace LumoraTest {

TestHostContext::~TestHostContext()
{
    releaseInstances();
}

VSE::PluginInfo *TestHostContext::describe(const std::string &name, std::vector<const char *> interfaceNames)
{
    auto info = std::make_unique<VSE::PluginInfo>();
    info->name = name;
    for (const char *n : interfaceNames)
        info->addInterfaceName(n);
    m_infos.push_back(std::move(info));
    return m_infos.back().get();
}

VSE::PluginInfo *TestHostContext::registerPlugin(const std::string &name, std::vector<const char *> interfaceNames,
                                                 Factory factory)
{
    VSE::PluginInfo *info = describe(name, std::move(interfaceNames));
    m_factories[info] = std::move(factory);
    addAvailablePlugin(info);
    return info;
}

void TestHostContext::addInstance(VSE::Plugin *plugin, VSE::PluginInfo *info)
{
    plugin->setPluginInfo(info);
    addInstantiatedPlugin(plugin);
    std::lock_guard lock(m_recordMutex);
    m_owned.push_back(plugin);
}

void TestHostContext::releaseInstances()
{
    std::vector<VSE::Plugin *> owned;
    {
        std::lock_guard lock(m_recordMutex);
        owned.swap(m_owned);
    }
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
        (*it)->release();
}

int32_t TestHostContext::createPlugin(VSE::PluginInfo *info, VSE::Plugin **out)
{
    {
        std::lock_guard lock(m_recordMutex);
        ++m_createCalls;
    }
    auto factory = m_factories.find(info);
    if (factory == m_factories.end() || !factory->second)
        return createResult;
    VSE::Plugin *plugin = factory->second(this);
    if (!plugin)
        return 2;
    plugin->setPluginInfo(info);
    addInstantiatedPlugin(plugin);
    plugin->retain();  // one for the caller, one the context keeps
    {
        std::lock_guard lock(m_recordMutex);
        m_owned.push_back(plugin);
    }
    *out = plugin;
    return 0;
}

void TestHostContext::pluginReleasing(VSE::Plugin *plugin)
{
    removeInstantiatedPlugin(plugin);
    std::lock_guard lock(m_recordMutex);
    m_notifications.push_back({Notification::Releasing, plugin});
}

void TestHostContext::pluginReleased(VSE::Plugin *plugin)
{
    std::lock_guard lock(m_recordMutex);
    m_notifications.push_back({Notification::Released, plugin});
}

std::vector<TestHostContext::Notification> TestHostContext::notifications() const
{
    std::lock_guard lock(m_recordMutex);
    return m_notifications;
}

int TestHostContext::createCalls() const
{
    std::lock_guard lock(m_recordMutex);
    return m_createCalls;
}

} // namespace LumoraTest
