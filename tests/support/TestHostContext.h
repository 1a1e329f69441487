#pragma once
// A host context for unit tests: the two plugin lists, createPlugin through registered factories,
// and a record of the release notifications in the order they came.

#include "plugin/PluginContext.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace LumoraTest {

class TestHostContext : public VSE::PluginContext {
public:
    using Factory = std::function<VSE::Plugin *(VSE::PluginContext *)>;

    struct Notification {
        enum Kind { Releasing, Released } kind;
        VSE::Plugin *plugin;
    };

    ~TestHostContext() override;

    // A description providing interfaceNames; the context keeps it.
    VSE::PluginInfo *describe(const std::string &name, std::vector<const char *> interfaceNames);
    // A description (available) that createPlugin builds with factory.
    VSE::PluginInfo *registerPlugin(const std::string &name, std::vector<const char *> interfaceNames, Factory factory);
    // An already instantiated plugin; the context takes over the caller's reference.
    void addInstance(VSE::Plugin *plugin, VSE::PluginInfo *info);
    // Releases every instance the context holds, last added first.
    void releaseInstances();

    int32_t createPlugin(VSE::PluginInfo *info, VSE::Plugin **out) override;
    void pluginReleasing(VSE::Plugin *plugin) override;
    void pluginReleased(VSE::Plugin *plugin) override;

    std::vector<Notification> notifications() const;
    int createCalls() const;
    int32_t createResult = 0;  // what createPlugin answers when it has no factory

private:
    mutable std::mutex m_recordMutex;
    std::vector<Notification> m_notifications;
    int m_createCalls = 0;
    std::vector<std::unique_ptr<VSE::PluginInfo>> m_infos;
    std::map<VSE::PluginInfo *, Factory> m_factories;
    std::vector<VSE::Plugin *> m_owned;  // the context's own references
};

} // namespace LumoraTest
