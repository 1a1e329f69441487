#include "plugin/Plugin.h"

#include "plugin/PluginContext.h"

namespace VSE {

Plugin::Plugin(PluginContext *context) : m_context(context) {}

Plugin::~Plugin() = default;

int32_t Plugin::retain()
{
    return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

int32_t Plugin::release()
{
    const int32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count != 0)
        return count;
    PluginContext *context = m_context;
    if (context)
        context->pluginReleasing(this);
    delete this;
    if (context)
        context->pluginReleased(this);
    return 0;
}

int32_t Plugin::getRefCount()
{
    return m_refCount.load(std::memory_order_relaxed);
}

PluginInfo *Plugin::getPluginInfo()
{
    return m_pluginInfo;
}

PluginContext *Plugin::getContext()
{
    return m_context;
}

} // namespace VSE
