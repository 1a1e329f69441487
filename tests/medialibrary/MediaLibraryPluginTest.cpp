// The media library as the host loads it: from its library file, through the host context, by the
// interface names the download manager uses.

#include "host/context/HostPluginContext.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "host/lmrlibrary/UIThread.h"
#include "host/medialibrary/MediaLibrary.h"
#include "host/medialibrary/MediaLibraryHostInterface.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PluginInterfaceHandle.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace Lumora;
using namespace Lumora::MediaManagerInterface;
using lmtl::RefCountedPtr;

namespace {

const QString kLibraryFile = QStringLiteral(LUMORA_PLUGIN_DIR "/libLumoraMediaLibrary.so");

bool isLoaded(const QString &path)
{
    void *handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        ::dlclose(handle);
    return handle != nullptr;
}

} // namespace

TEST(MediaLibraryPlugin, servesTheLibraryThroughTheHostContext)
{
    LumoraTest::TempHome home;
    uint64_t itemId = 0;
    {
        HostPluginContext context;
        QStringList errors;
        EXPECT_GE(context.scanPluginFolder(QStringLiteral(LUMORA_PLUGIN_DIR), &errors), 1) << errors.join('\n').toStdString();

        VSE::PluginInterfaceHandle manager(VSE::InterfaceNames::mediaManager());
        ASSERT_EQ(manager.acquire(&context), VSE::PluginOk) << context.loadError().toStdString();
        VSE::PluginInterfaceHandle v2(VSE::InterfaceNames::mediaManagerV2());
        ASSERT_EQ(v2.acquire(&context), VSE::PluginOk);
        VSE::PluginInterfaceHandle host{VSE::AllocatedString<char>(MediaLibraryHostText)};
        ASSERT_EQ(host.acquire(&context), VSE::PluginOk);
        EXPECT_EQ(manager.plugin(), v2.plugin());  // one plugin, loaded once
        EXPECT_EQ(context.loadedLibraries(), QStringList{kLibraryFile});

        auto *hostSide = host.as<MediaLibraryHostInterface>();
        EXPECT_TRUE(hostSide->isOpen());
        EXPECT_EQ(hostSide->databasePath(), home.path() + "/data/library.db");
        const QString media = home.path() + "/media";
        QDir().mkpath(media);
        hostSide->setMediaFolder(media);
        EXPECT_EQ(hostSide->mediaFolder(), media);

        auto *library = manager.as<MediaManager>();
        RefCountedPtr<PlaylistInterface> playlist;
        ASSERT_TRUE(library->getPlaylist(DownloadPlaylistKind, 0, 0, playlist.receive()));
        EXPECT_FALSE(library->getPlaylist(3, 0, 0, RefCountedPtr<PlaylistInterface>().receive()));
        RefCountedPtr<QueuedFileInterface> item;
        const QUrl source(QStringLiteral("http://h.test/clip.mp4"));
        ASSERT_TRUE(library->createQueuedItem(source, QStringLiteral("clip"), source, item.receive()));
        ASSERT_TRUE(item->commit());
        ASSERT_TRUE(playlist->insertItem(0, item.get()));
        itemId = item->id();

        // A finished file: accepted inside the media folder, registered, found again as a video file
        // (the downcast crosses from this program into the plugin's library).
        const QString file = media + "/clip.vexo";
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("data");
        out.close();
        item->setFileUrl(QUrl::fromLocalFile(file));
        EXPECT_TRUE(v2.as<MediaManagerV2>()->fileAcceptor()->acceptFile(QUrl::fromLocalFile(file)));
        RefCountedPtr<VideoFileInterface> video;
        ASSERT_TRUE(library->addVideoFile(item.get(), 2000, (uint64_t(240) << 32) | 320, video.receive()));
        RefCountedPtr<MediaFileInterface> media2;
        ASSERT_TRUE(library->findMediaFile(QUrl::fromLocalFile(file), media2.receive()));
        lmtl::RefCountedQIPtr<VideoFileInterface> asVideo(media2);
        EXPECT_EQ(asVideo.get(), video.get());
        EXPECT_FALSE(lmtl::RefCountedQIPtr<QueuedFileInterface>(static_cast<lmtl::IRefCounted *>(media2.get())));
    }
    // Every plugin released and the library closed at the context's end.
    EXPECT_FALSE(isLoaded(kLibraryFile));

    LibraryOpenOptions options;
    options.databasePath = OSUtilities::libraryDatabasePath();
    auto reopened = MediaLibrary::open(options, nullptr);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->downloadOrder(), (std::vector<uint64_t>{itemId}));
}

TEST(MediaLibraryPlugin, aLibraryThatCannotOpenIsReportedAndOffersNoManager)
{
    LumoraTest::TempHome home;
    QDir().mkpath(home.path() + "/data");
    QFile junk(home.path() + "/data/library.db");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(2048, 'x'));
    junk.close();
    QStringList shown;
    UIThread::setMessageSink([&](int, const QString &text, const QString &detail) { shown << text + ' ' + detail; });

    HostPluginContext context;
    ASSERT_TRUE(context.addLibrary(QStringLiteral("LumoraMediaLibrary"), kLibraryFile,
                                   {VSE::InterfaceNames::MediaManagerText, MediaLibraryHostText}));
    VSE::PluginInterfaceHandle manager(VSE::InterfaceNames::mediaManager());
    EXPECT_EQ(manager.acquire(&context), VSE::PluginNotAvailable);
    VSE::PluginInterfaceHandle host{VSE::AllocatedString<char>(MediaLibraryHostText)};
    ASSERT_EQ(host.acquire(&context), VSE::PluginOk);
    EXPECT_FALSE(host.as<MediaLibraryHostInterface>()->isOpen());
    EXPECT_TRUE(host.as<MediaLibraryHostInterface>()->openError().contains(QLatin1String("not an SQLite database")));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.front().contains(QLatin1String("library.db")));
    UIThread::setMessageSink({});
}
