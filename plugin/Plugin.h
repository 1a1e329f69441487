#pragma once
// How plugins work here.
//
// A plugin is a shared library exporting one C function, `_getPlugin(context, out)`, which constructs
// the plugin object and hands the host one reference to it. From then on everything goes through the
// object's virtual operations: reference counting, the host context it was made with, the host's
// description of it, and getInterface(), which answers an interface by its reverse-domain name with a
// pointer into the object. Interface pointers carry no reference of their own; they stay valid while
// the caller holds a reference to the plugin object (PluginInterfaceHandle keeps both together).
//
// When the last reference goes, the plugin tells its context before and after it deletes itself, so
// the host can drop it from its lists. Plugins find each other through the context (PluginContext.h).

#include "plugin/AllocatedString.h"

#include <atomic>
#include <cstdint>

namespace VSE {

class PluginContext;
class PluginInfo;

// Result codes of the plugin frame.
enum PluginResult : int32_t {
    PluginOk = 0,
    PluginNullOut = 1,          // findPlugin: the out pointer is null; acquire: already holding
    PluginNotAvailable = 3,     // no such interface or plugin
};

class Plugin {
public:
    explicit Plugin(PluginContext *context);
    virtual ~Plugin();

    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    virtual int32_t retain();
    // At 0: pluginReleasing, delete, pluginReleased (the last with the dangling pointer as an id).
    virtual int32_t release();
    virtual int32_t getRefCount();
    virtual PluginInfo *getPluginInfo();
    virtual PluginContext *getContext();
    // out is set to null first; 0 and the interface on success, 3 for any name not provided.
    virtual int32_t getInterface(const AllocatedString<char> &name, void **out) = 0;

    // For hosts: records the description under which the host registered this instance.
    void setPluginInfo(PluginInfo *info) { m_pluginInfo = info; }

private:
    // Atomic: host threads and the plugins' own threads retain and release the same plugin objects.
    std::atomic<int32_t> m_refCount{1};
    PluginContext *m_context;
    PluginInfo *m_pluginInfo = nullptr;
};

} // namespace VSE

// The entry point every plugin library exports.
extern "C" int32_t _getPlugin(VSE::PluginContext *context, VSE::Plugin **out);
using GetPluginFunction = int32_t (*)(VSE::PluginContext *, VSE::Plugin **);
