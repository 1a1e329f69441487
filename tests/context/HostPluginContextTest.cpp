// The host context with real plugin libraries: loading on demand and once, the references it keeps,
// the lists the release notifications maintain, unloading in reverse order, and each way creation fails.

#include "host/context/HostPluginContext.h"
#include "plugin/PluginInterfaceHandle.h"
#include "tests/context/ContextTestInterface.h"
#include "tests/support/TempHome.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using Lumora::HostPluginContext;

namespace {

const QString kPlugins = QStringLiteral(LUMORA_CONTEXT_PLUGINS);

// Points the test plugins' log at a temporary file, and reads it back.
class PluginLog {
public:
    PluginLog() : m_path(m_home.path() + "/plugins.log") { ::setenv("LUMORA_CONTEXT_TEST_LOG", QFile::encodeName(m_path).constData(), 1); }
    ~PluginLog()
    {
        ::unsetenv("LUMORA_CONTEXT_TEST_LOG");
        ::unsetenv("LUMORA_CONTEXT_TEST_NEEDS");
    }
    QStringList lines() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    LumoraTest::TempHome m_home;
    QString m_path;
};

VSE::AllocatedString<char> interfaceOf(const char *plugin)
{
    return VSE::AllocatedString<char>((std::string("test.interface.") + plugin).c_str());
}

int32_t find(HostPluginContext &context, const char *plugin, VSE::Plugin **out, bool load = true)
{
    return context.findPlugin(out, VSE::PluginInterfaceFilter(interfaceOf(plugin)), VSE::SimplePluginInfoSelector(), load);
}

class HostPlugin : public VSE::Plugin {
public:
    HostPlugin(VSE::PluginContext *context, std::atomic<int> *deleted) : VSE::Plugin(context), m_deleted(deleted) {}
    ~HostPlugin() override { ++*m_deleted; }
    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override
    {
        *out = nullptr;
        if (!(name == VSE::AllocatedString<char>("host.interface.Services")))
            return VSE::PluginNotAvailable;
        *out = this;
        return VSE::PluginOk;
    }

private:
    std::atomic<int> *m_deleted;
};

} // namespace

TEST(HostPluginContext, loadsADescribedPluginOnDemandAndOnlyOnce)
{
    PluginLog log;
    HostPluginContext context;
    QStringList errors;
    EXPECT_EQ(context.scanPluginFolder(kPlugins, &errors), 5);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.front().contains(QLatin1String("Broken.plugin")));
    EXPECT_EQ(context.scanPluginFolder(kPlugins), 0);  // read already
    EXPECT_TRUE(context.loadedLibraries().isEmpty());

    VSE::Plugin *none = nullptr;
    EXPECT_EQ(find(context, "Alpha", &none, false), VSE::PluginNotAvailable);
    EXPECT_TRUE(context.loadedLibraries().isEmpty());

    // Several threads asking at once get one plugin.
    std::vector<VSE::Plugin *> found(4, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < found.size(); ++i)
        threads.emplace_back([&, i] { EXPECT_EQ(find(context, "Alpha", &found[i]), VSE::PluginOk); });
    for (auto &t : threads)
        t.join();
    for (VSE::Plugin *plugin : found)
        EXPECT_EQ(plugin, found.front());
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("construct Alpha")});
    EXPECT_EQ(context.loadedLibraries(), QStringList{kPlugins + "/libContextTestAlpha.so"});
    EXPECT_EQ(found.front()->getRefCount(), 5);  // four callers and the context
    EXPECT_EQ(found.front()->getPluginInfo(), context.description(QStringLiteral("Alpha")));
    for (VSE::Plugin *plugin : found)
        plugin->release();

    VSE::PluginInterfaceHandle handle(interfaceOf("Alpha"));
    ASSERT_EQ(handle.acquire(&context), VSE::PluginOk);
    EXPECT_STREQ(handle.as<ContextTestInterface>()->pluginName(), "Alpha");
    EXPECT_EQ(handle.plugin(), found.front());
}

TEST(HostPluginContext, releasesPluginsAndUnloadsLibrariesInReverseOrder)
{
    PluginLog log;
    ::setenv("LUMORA_CONTEXT_TEST_NEEDS", "Alpha", 1);  // Beta's construction looks up Alpha
    {
        HostPluginContext context;
        context.scanPluginFolder(kPlugins);
        {
            VSE::PluginInterfaceHandle beta(interfaceOf("Beta"));
            ASSERT_EQ(beta.acquire(&context), VSE::PluginOk);
        }
        EXPECT_EQ(context.loadedLibraries(),
                  (QStringList{kPlugins + "/libContextTestBeta.so", kPlugins + "/libContextTestAlpha.so"}));
        EXPECT_EQ(context.instantiatedPlugins().size(), 2u);
    }
    EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("construct Beta"), QStringLiteral("construct Alpha"),
                                        QStringLiteral("found Alpha"), QStringLiteral("delete Beta"),
                                        QStringLiteral("delete Alpha"), QStringLiteral("unload Alpha"),
                                        QStringLiteral("unload Beta")}));
}

TEST(HostPluginContext, keepsALibraryLoadedWhilePluginsItMadeAreAlive)
{
    PluginLog log;
    HostPluginContext context;
    context.scanPluginFolder(kPlugins);
    VSE::Plugin *alpha = nullptr;
    ASSERT_EQ(find(context, "Alpha", &alpha), VSE::PluginOk);
    context.shutdown();  // the context's reference goes; ours keeps the plugin
    EXPECT_EQ(context.loadedLibraries(), QStringList{kPlugins + "/libContextTestAlpha.so"});
    EXPECT_EQ(alpha->getRefCount(), 1);
    EXPECT_EQ(context.instantiatedPlugins(), std::vector<VSE::Plugin *>{alpha});

    alpha->release();
    EXPECT_TRUE(context.instantiatedPlugins().empty());
    context.shutdown();
    EXPECT_TRUE(context.loadedLibraries().isEmpty());
    EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("construct Alpha"), QStringLiteral("delete Alpha"),
                                        QStringLiteral("unload Alpha")}));
}

TEST(HostPluginContext, reportsEachWayALibraryFailsToMakeAPlugin)
{
    PluginLog log;
    HostPluginContext context;
    context.scanPluginFolder(kPlugins);
    VSE::Plugin *plugin = nullptr;
    EXPECT_EQ(find(context, "NoEntry", &plugin), HostPluginContext::EntryPointMissing);
    EXPECT_TRUE(context.loadError().contains(QLatin1String("_getPlugin")));
    EXPECT_EQ(find(context, "Missing", &plugin), HostPluginContext::LibraryNotLoaded);
    EXPECT_TRUE(context.loadError().contains(QLatin1String("libDoesNotExist.so")));
    EXPECT_EQ(find(context, "Refusing", &plugin), HostPluginContext::PluginNotMade);
    EXPECT_EQ(find(context, "Nobody", &plugin), VSE::PluginNotAvailable);
    EXPECT_EQ(plugin, nullptr);
    EXPECT_TRUE(context.instantiatedPlugins().empty());
    EXPECT_EQ(context.createPlugin(context.description(QStringLiteral("Alpha")), nullptr), VSE::PluginNullOut);
    EXPECT_EQ(context.createPlugin(nullptr, &plugin), VSE::PluginNotAvailable);
    context.shutdown();
    EXPECT_TRUE(context.loadedLibraries().isEmpty());
}

TEST(HostPluginContext, servesAndReleasesThePluginsTheHostMakes)
{
    std::atomic<int> deleted{0};
    HostPluginContext context;
    VSE::PluginInfo *info = context.registerHostPlugin(new HostPlugin(&context, &deleted), QStringLiteral("Services"),
                                                       {QStringLiteral("host.interface.Services")});
    ASSERT_TRUE(info);
    {
        VSE::PluginInterfaceHandle handle(VSE::AllocatedString<char>("host.interface.Services"));
        ASSERT_EQ(handle.acquire(&context), VSE::PluginOk);
        EXPECT_EQ(handle.plugin()->getPluginInfo(), info);
        EXPECT_EQ(handle.plugin()->getRefCount(), 2);
    }
    EXPECT_EQ(deleted, 0);
    context.shutdown();
    EXPECT_EQ(deleted, 1);
    EXPECT_TRUE(context.instantiatedPlugins().empty());
    // A host object cannot be made again from its description.
    VSE::Plugin *plugin = nullptr;
    EXPECT_EQ(context.createPlugin(info, &plugin), HostPluginContext::HostPluginNotLoadable);
}
