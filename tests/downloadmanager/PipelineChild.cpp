// A player in a process of its own, for the crash tests: loads the plugins from the build's library
// folder into the home the environment names, queues the address it is given and runs until that
// download has ended. A fault point (LUMORA_FAULT_POINT) may end it on the way, as a crash would.
// Usage: pipeline_child URL

#include "host/context/HostPluginContext.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/DownloadManagerInterface.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PluginInterfaceHandle.h"
#include "plugin/SettingKeys.h"
#include "plugin/ShutdownInterface.h"
#include "plugin/URIReceiver.h"
#include "settings/VexoSettings.h"
#include "tests/support/ThreadSanitizerDefaults.h"

#include <QCoreApplication>
#include <QUrl>

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pipeline_child URL\n");
        return 2;
    }
    lmtl::RefCountedPtr<lmds::IVexoSettings> desktop;
    if (!lmds::openSettings(Lumora::SettingKeys::componentPath(Lumora::SettingKeys::DesktopServiceComponent),
                            lmds::kOpenCreateUser, desktop.receive())
        || !desktop->setValue(std::string(Lumora::SettingKeys::InstallDir), std::string(LUMORA_LIBRARY_DIR)))
        return 3;
    Lumora::HostPluginContext context;
    context.scanPluginFolder(LUMORA_LIBRARY_DIR);
    VSE::PluginInterfaceHandle manager(VSE::InterfaceNames::downloadManager());
    VSE::PluginInterfaceHandle receiver(VSE::InterfaceNames::uriReceiver());
    VSE::PluginInterfaceHandle shutdown(VSE::InterfaceNames::shutdown());
    if (manager.acquire(&context) != VSE::PluginOk || receiver.acquire(&context) != VSE::PluginOk
        || shutdown.acquire(&context) != VSE::PluginOk)
        return 4;
    const QUrl url(QString::fromLocal8Bit(argv[1]));
    receiver.as<Lumora::URIReceiver>()->receiveURI(url);

    auto *dm = manager.as<Lumora::DownloadManagerInterface>();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int code = 5;
    while (std::chrono::steady_clock::now() < deadline) {
        lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> item;
        // Completed is recorded before the hand-off: wait until the run has let go of the item.
        if (dm->findDownload(url, item.receive()) && item && Lumora::isFinishedStatus(item->status())
            && item->pendingFinish().isEmpty() && !dm->hasPendingDownloads()) {
            code = item->status() == Lumora::Completed ? 0 : 1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    shutdown.as<Lumora::ShutdownInterface>()->shutdown();
    context.shutdown();
    return code;
}
