// A small plugin library for the context tests, built several times under different names. It
// answers one interface, "test.interface.<name>", whose object tells which plugin and which library
// copy it is; it logs its construction, deletion and the unloading of its library to the file named
// by LUMORA_CONTEXT_TEST_LOG, and its construction may look up another plugin (LUMORA_CONTEXT_TEST_NEEDS
// names an interface), as the download manager's does.

#include "plugin/PluginContext.h"
#include "tests/context/ContextTestInterface.h"
#include "plugin/PluginInterfaceHandle.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

void logLine(const std::string &line)
{
    const char *path = std::getenv("LUMORA_CONTEXT_TEST_LOG");
    if (!path)
        return;
    if (FILE *log = std::fopen(path, "a")) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fclose(log);
    }
}

const std::string kName = CONTEXT_TEST_PLUGIN_NAME;
const VSE::AllocatedString<char> kInterface(("test.interface." + kName).c_str());

// The module's unloading, seen from inside.
struct UnloadLogger {
    ~UnloadLogger() { logLine("unload " + kName); }
} unloadLogger;

} // namespace

class ContextTestPlugin : public VSE::Plugin, public ContextTestInterface {
public:
    explicit ContextTestPlugin(VSE::PluginContext *context) : VSE::Plugin(context)
    {
        logLine("construct " + kName);
        if (const char *needs = std::getenv("LUMORA_CONTEXT_TEST_NEEDS"); needs && kName != needs) {
            m_needed = std::make_unique<VSE::PluginInterfaceHandle>(VSE::AllocatedString<char>(("test.interface." + std::string(needs)).c_str()));
            logLine(m_needed->acquire(context) == VSE::PluginOk ? "found " + std::string(needs) : "missing " + std::string(needs));
        }
    }
    ~ContextTestPlugin() override { logLine("delete " + kName); }

    const char *pluginName() const override { return CONTEXT_TEST_PLUGIN_NAME; }

    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override
    {
        if (!out)
            return VSE::PluginNotAvailable;
        *out = nullptr;
        if (!(name == kInterface))
            return VSE::PluginNotAvailable;
        *out = static_cast<ContextTestInterface *>(this);
        return VSE::PluginOk;
    }

private:
    std::unique_ptr<VSE::PluginInterfaceHandle> m_needed;
};

extern "C" __attribute__((visibility("default"))) int32_t _getPlugin(VSE::PluginContext *context, VSE::Plugin **out)
{
#ifdef CONTEXT_TEST_REFUSE
    (void)context;
    (void)out;
    return 5;
#else
    if (!out)
        return 0;
    *out = new ContextTestPlugin(context);
    return 0;
#endif
}
