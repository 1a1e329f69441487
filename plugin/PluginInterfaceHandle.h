#pragma once
// An interface name together with the plugin that provides it (one reference held) and the interface
// pointer obtained from it. Destroying the handle gives the reference back. Handles belong to one
// object or one call and are never shared between threads.

#include "plugin/PluginContext.h"

namespace VSE {

class PluginInterfaceHandle {
public:
    explicit PluginInterfaceHandle(const AllocatedString<char> &name) : m_name(name) {}
    ~PluginInterfaceHandle();
    PluginInterfaceHandle(const PluginInterfaceHandle &) = delete;
    PluginInterfaceHandle &operator=(const PluginInterfaceHandle &) = delete;

    // 1 when an interface is already held (nothing changes), 0 when it was obtained, 3 otherwise.
    int32_t acquire(PluginContext *context, const PluginContext::AbstractPluginInfoFilter &filter,
                    const PluginContext::AbstractPluginInfoSelector &selector, bool loadIfNeeded);
    // The usual call: a filter on the handle's own name, the lowest-address selector, load if needed.
    int32_t acquire(PluginContext *context);

    const AllocatedString<char> &name() const { return m_name; }
    Plugin *plugin() const { return m_plugin; }
    void *interface() const { return m_interface; }
    template <class T>
    T *as() const { return static_cast<T *>(m_interface); }

private:
    AllocatedString<char> m_name;
    Plugin *m_plugin = nullptr;
    void *m_interface = nullptr;
};

} // namespace VSE
