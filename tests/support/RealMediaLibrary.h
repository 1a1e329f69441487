#pragma once
// The real SQLite media library behind a TestHostContext, for integration tests: the download manager
// finds it by the usual interface names ("MediaManager", "MediaManagerV2"), and the test inspects and
// reopens the file through the host API. A test that uses this links lumora_medialibrary.
//
//   LumoraTest::TempHome home;
//   LumoraTest::TestHostContext context;
//   LumoraTest::RealMediaLibrary library(context);          // <home>/data/library.db
//   ... create the download manager with &context ...
//   EXPECT_EQ(library.playlistIds(), (std::vector<uint64_t>{id}));
//
// The plugin object is created on the first lookup and kept by the context (released by
// TestHostContext::releaseInstances or its destructor); the library file stays open as long as this
// helper or that plugin lives.

#include "host/medialibrary/MediaLibrary.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"
#include "tests/support/TestHostContext.h"

#include <QString>

#include <memory>
#include <vector>

namespace LumoraTest {

class RealMediaLibrary {
public:
    // Opens (creating it if needed) the library at databasePath, or at the host's default path
    // (below LUMORA_HOME) when it is empty, and describes it in context.
    explicit RealMediaLibrary(TestHostContext &context, const QString &databasePath = QString());

    bool isOpen() const { return m_library != nullptr; }
    const QString &openError() const { return m_error; }
    Lumora::MediaLibrary &library() const { return *m_library; }
    VSE::PluginInfo *pluginInfo() const { return m_info; }
    QString databasePath() const { return m_path; }

    // What the file holds now, read through a second connection (so that only committed state counts).
    std::vector<uint64_t> storedPlaylistIds() const;
    // What the library holds now (memory, pending changes included).
    std::vector<uint64_t> playlistIds() const;
    lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> item(uint64_t id) const;
    // Creates an item, commits it with the status and puts it at the end of the download playlist.
    lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> addItem(const QString &url,
                                                                                  Lumora::DownloadStatusValue status);

private:
    std::shared_ptr<Lumora::MediaLibrary> m_library;
    QString m_path;
    QString m_error;
    VSE::PluginInfo *m_info = nullptr;
};

} // namespace LumoraTest
