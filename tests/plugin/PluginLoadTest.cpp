// Loads the built plugin library the way a host does: dlopen, _getPlugin, getInterface, release.

#include "plugin/DownloadManagerInterface.h"
#include "plugin/InterfaceNames.h"
#include "plugin/ShutdownInterface.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/TestHostContext.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <dlfcn.h>

using LumoraTest::TestHostContext;
using Notification = TestHostContext::Notification;
using VSE::AllocatedString;

namespace {

class LoadedPlugin {
public:
    LoadedPlugin()
    {
        m_library = dlopen(LUMORA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (m_library)
            m_entry = reinterpret_cast<GetPluginFunction>(dlsym(m_library, "_getPlugin"));
    }
    ~LoadedPlugin()
    {
        if (m_library)
            dlclose(m_library);
    }
    GetPluginFunction entry() const { return m_entry; }
    void *library() const { return m_library; }

private:
    void *m_library = nullptr;
    GetPluginFunction m_entry = nullptr;
};

} // namespace

TEST(PluginLibrary, answersItsThreeInterfacesAndNotifiesAroundDeletion)
{
    LoadedPlugin library;
    ASSERT_NE(library.library(), nullptr) << dlerror();
    ASSERT_NE(library.entry(), nullptr);
    EXPECT_NE(dlsym(library.library(), "_ZTVN3VSE22FileInspectorInterfaceE"), nullptr)
        << "the file inspector's virtual table is exported";

    TestHostContext ctx;
    VSE::Plugin *plugin = nullptr;
    ASSERT_EQ(library.entry()(&ctx, &plugin), 0);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->getRefCount(), 1) << "no media library: no scheduler, no self-reference";
    EXPECT_EQ(plugin->getContext(), &ctx);
    EXPECT_EQ(plugin->getPluginInfo(), nullptr);

    void *manager = nullptr, *shutdown = nullptr, *receiver = nullptr;
    EXPECT_EQ(plugin->getInterface(VSE::InterfaceNames::downloadManager(), &manager), VSE::PluginOk);
    EXPECT_EQ(plugin->getInterface(VSE::InterfaceNames::shutdown(), &shutdown), VSE::PluginOk);
    EXPECT_EQ(plugin->getInterface(VSE::InterfaceNames::uriReceiver(), &receiver), VSE::PluginOk);
    EXPECT_NE(manager, nullptr);
    EXPECT_NE(manager, static_cast<void *>(plugin));
    EXPECT_NE(shutdown, nullptr);
    EXPECT_NE(receiver, nullptr);

    void *wrong = &ctx;
    const QByteArray otherCase = QByteArray(VSE::InterfaceNames::DownloadManagerText).toLower();
    EXPECT_EQ(plugin->getInterface(AllocatedString<char>(otherCase.constData()), &wrong), VSE::PluginNotAvailable);
    EXPECT_EQ(wrong, nullptr);
    EXPECT_EQ(plugin->getInterface(AllocatedString<char>(""), &wrong), VSE::PluginNotAvailable);
    EXPECT_EQ(plugin->getInterface(AllocatedString<char>(static_cast<const char *>(nullptr)), &wrong), VSE::PluginNotAvailable);
    EXPECT_EQ(plugin->getInterface(VSE::InterfaceNames::downloadManager(), nullptr), VSE::PluginNotAvailable);

    // Shutdown without a self-reference gives nothing back.
    static_cast<Lumora::ShutdownInterface *>(shutdown)->shutdown();
    EXPECT_EQ(plugin->getRefCount(), 1);

    EXPECT_EQ(plugin->release(), 0);
    const auto notes = ctx.notifications();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].kind, Notification::Releasing);
    EXPECT_EQ(notes[1].kind, Notification::Released);
    EXPECT_EQ(notes[0].plugin, plugin);
    EXPECT_EQ(notes[1].plugin, plugin);
}

TEST(PluginLibrary, withAMediaLibraryHoldsASelfReferenceUntilShutdown)
{
    LoadedPlugin library;
    ASSERT_NE(library.entry(), nullptr) << dlerror();
    TestHostContext ctx;
    ctx.addInstance(new LumoraTest::FakeMediaLibrary(&ctx),
                    ctx.describe("library", {VSE::InterfaceNames::MediaManagerText, VSE::InterfaceNames::MediaManagerV2Text}));

    VSE::Plugin *plugin = nullptr;
    ASSERT_EQ(library.entry()(&ctx, &plugin), 0);
    EXPECT_EQ(plugin->getRefCount(), 2);
    void *shutdown = nullptr;
    ASSERT_EQ(plugin->getInterface(VSE::InterfaceNames::shutdown(), &shutdown), 0);
    auto *s = static_cast<Lumora::ShutdownInterface *>(shutdown);
    s->shutdown();
    EXPECT_EQ(plugin->getRefCount(), 1);
    s->shutdown();  // a second shutdown gives nothing back
    EXPECT_EQ(plugin->getRefCount(), 1);
    EXPECT_EQ(plugin->release(), 0);
    EXPECT_EQ(ctx.notifications().size(), 2u);
}

TEST(PluginLibrary, withoutADownloadPlaylistRunsNothing)
{
    LoadedPlugin library;
    ASSERT_NE(library.entry(), nullptr) << dlerror();
    TestHostContext ctx;
    auto *media = new LumoraTest::FakeMediaLibrary(&ctx);
    media->refusePlaylist = true;
    ctx.addInstance(media, ctx.describe("library", {VSE::InterfaceNames::MediaManagerText}));
    VSE::Plugin *plugin = nullptr;
    ASSERT_EQ(library.entry()(&ctx, &plugin), 0);
    EXPECT_EQ(plugin->getRefCount(), 1);
    plugin->release();
}
