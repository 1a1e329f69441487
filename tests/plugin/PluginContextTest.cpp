#include "plugin/InterfaceNames.h"
#include "plugin/PluginInterfaceHandle.h"
#include "tests/support/TestHostContext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using LumoraTest::TestHostContext;
using VSE::AllocatedString;
using VSE::PluginContext;

namespace {

const char *kName = "com.vexo.lumora.pluginInterface.Test";

// Answers kName with a pointer to its own marker, or refuses when told to.
class StubPlugin : public VSE::Plugin {
public:
    using VSE::Plugin::Plugin;
    int32_t getInterface(const AllocatedString<char> &name, void **out) override
    {
        *out = nullptr;
        if (refuse || !(name == AllocatedString<char>(kName)))
            return 3;
        *out = &marker;
        return 0;
    }
    bool refuse = false;
    int marker = 0;
};

int32_t find(TestHostContext &ctx, VSE::Plugin **out, const char *name, bool load)
{
    return ctx.findPlugin(out, VSE::PluginInterfaceFilter(AllocatedString<char>(name)), VSE::SimplePluginInfoSelector(), load);
}

} // namespace

TEST(PluginContext, nullOutPointerGivesOneWithoutTouchingTheLists)
{
    TestHostContext ctx;
    ctx.registerPlugin("p", {kName}, [](VSE::PluginContext *c) { return new StubPlugin(c); });
    EXPECT_EQ(find(ctx, nullptr, kName, true), 1);
    EXPECT_EQ(ctx.createCalls(), 0);
}

TEST(PluginContext, amongSeveralMatchesTheLowerAddressedDescriptionWinsAndIsRetainedOnce)
{
    TestHostContext ctx;
    auto *a = new StubPlugin(&ctx);
    auto *b = new StubPlugin(&ctx);
    VSE::PluginInfo *infoA = ctx.describe("a", {kName});
    VSE::PluginInfo *infoB = ctx.describe("b", {"other", kName});
    ctx.addInstance(a, infoA);
    ctx.addInstance(b, infoB);
    StubPlugin *lower = infoA < infoB ? a : b;

    VSE::Plugin *found = nullptr;
    ASSERT_EQ(find(ctx, &found, kName, false), 0);
    EXPECT_EQ(found, lower);
    EXPECT_EQ(lower->getRefCount(), 2);
    EXPECT_EQ((lower == a ? b : a)->getRefCount(), 1);
    found->release();
}

TEST(PluginContext, withoutLoadingNothingIsCreated)
{
    TestHostContext ctx;
    ctx.registerPlugin("p", {kName}, [](VSE::PluginContext *c) { return new StubPlugin(c); });
    VSE::Plugin *found = nullptr;
    EXPECT_EQ(find(ctx, &found, kName, false), 3);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(ctx.createCalls(), 0);
}

TEST(PluginContext, loadingAnswersExactlyWhatCreatePluginAnswers)
{
    TestHostContext ctx;
    ctx.registerPlugin("p", {kName}, nullptr);  // no factory: createPlugin answers createResult
    ctx.createResult = 42;
    VSE::Plugin *found = nullptr;
    EXPECT_EQ(find(ctx, &found, kName, true), 42);
    EXPECT_EQ(ctx.createCalls(), 1);

    TestHostContext loading;
    loading.registerPlugin("p", {kName}, [](VSE::PluginContext *c) { return new StubPlugin(c); });
    ASSERT_EQ(find(loading, &found, kName, true), 0);
    ASSERT_NE(found, nullptr);
    // Later searches find the instance instead of creating another.
    VSE::Plugin *again = nullptr;
    ASSERT_EQ(find(loading, &again, kName, true), 0);
    EXPECT_EQ(again, found);
    EXPECT_EQ(loading.createCalls(), 1);
    found->release();
    again->release();
}

TEST(PluginContext, interfaceNamesMatchCaseSensitively)
{
    TestHostContext ctx;
    ctx.addInstance(new StubPlugin(&ctx), ctx.describe("p", {"com.vexo.lumora.pluginInterface.test"}));
    VSE::Plugin *found = nullptr;
    EXPECT_EQ(find(ctx, &found, kName, true), 3);
    EXPECT_EQ(find(ctx, &found, "", true), 3);
}

TEST(PluginInterfaceHandle, secondAcquireKeepsTheFirstPluginAndInterface)
{
    TestHostContext ctx;
    auto *plugin = new StubPlugin(&ctx);
    ctx.addInstance(plugin, ctx.describe("p", {kName}));
    {
        VSE::PluginInterfaceHandle handle{AllocatedString<char>(kName)};
        ASSERT_EQ(handle.acquire(&ctx), 0);
        EXPECT_EQ(handle.interface(), &plugin->marker);
        EXPECT_EQ(plugin->getRefCount(), 2);
        EXPECT_EQ(handle.acquire(&ctx), 1);
        EXPECT_EQ(handle.plugin(), plugin);
        EXPECT_EQ(plugin->getRefCount(), 2);
    }
    EXPECT_EQ(plugin->getRefCount(), 1);
}

TEST(PluginInterfaceHandle, refusedInterfaceLeavesNoReferenceBehind)
{
    TestHostContext ctx;
    auto *plugin = new StubPlugin(&ctx);
    plugin->refuse = true;
    ctx.addInstance(plugin, ctx.describe("p", {kName}));
    VSE::PluginInterfaceHandle handle{AllocatedString<char>(kName)};
    EXPECT_EQ(handle.acquire(&ctx), 3);
    EXPECT_EQ(handle.plugin(), nullptr);
    EXPECT_EQ(handle.interface(), nullptr);
    EXPECT_EQ(plugin->getRefCount(), 1);
    EXPECT_EQ(handle.acquire(nullptr), 3);
}

TEST(PluginContext, searchesStaySafeWhileAnotherThreadChangesTheLists)
{
    TestHostContext ctx;
    VSE::PluginInfo *info = ctx.describe("p", {kName});
    ctx.addInstance(new StubPlugin(&ctx), info);
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            auto *p = new StubPlugin(&ctx);
            p->setPluginInfo(info);
            ctx.addInstantiatedPlugin(p);
            p->release();  // pluginReleasing takes it out of the list under the mutex
        }
    });
    for (int i = 0; i < 20000; ++i) {
        VSE::PluginInterfaceHandle handle{AllocatedString<char>(kName)};
        handle.acquire(&ctx, VSE::PluginInterfaceFilter(AllocatedString<char>(kName)), VSE::SimplePluginInfoSelector(), false);
    }
    stop = true;
    churn.join();
}
