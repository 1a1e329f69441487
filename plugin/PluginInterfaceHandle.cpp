#include "plugin/PluginInterfaceHandle.h"

namespace VSE {

PluginInterfaceHandle::~PluginInterfaceHandle()
{
    if (m_plugin)
        m_plugin->release();
    m_plugin = nullptr;
    m_interface = nullptr;
}

int32_t PluginInterfaceHandle::acquire(PluginContext *context, const PluginContext::AbstractPluginInfoFilter &filter,
                                       const PluginContext::AbstractPluginInfoSelector &selector, bool loadIfNeeded)
{
    if (m_interface)
        return PluginNullOut;
    if (context && context->findPlugin(&m_plugin, filter, selector, loadIfNeeded) == PluginOk && m_plugin) {
        if (m_plugin->getInterface(m_name, &m_interface) == PluginOk && m_interface)
            return PluginOk;
        m_plugin->release();
    }
    m_plugin = nullptr;
    m_interface = nullptr;
    return PluginNotAvailable;
}

int32_t PluginInterfaceHandle::acquire(PluginContext *context)
{
    return acquire(context, PluginContext::PluginInterfaceFilter(m_name), PluginContext::SimplePluginInfoSelector(), true);
}

} // namespace VSE
