#pragma once
// A window's worth of parts over the in-memory library and a mock download manager: the model, the
// operations (run at once on the test's thread) and a receiver that queues what it is given, so that
// a test can see exactly which plugin operation each action called.

#include "host/window/QueueModel.h"
#include "host/window/QueueOperations.h"
#include "host/window/QueueReader.h"
#include "plugin/InterfaceNames.h"
#include "plugin/URIReceiver.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/MockDownloadManager.h"
#include "tests/support/TestHostContext.h"
#include "tests/window/WindowTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace LumoraTest {

// Queues every address it receives in the in-memory library.
struct QueueingReceiver : Lumora::URIReceiver {
    FakeMediaLibrary *library = nullptr;
    std::vector<QUrl> received;

    QStringList supportedSchemes() override { return {QStringLiteral("http"), QStringLiteral("file")}; }
    QStringList supportedMimeTypes(const QString &) override { return {}; }
    void receiveURI(const QUrl &uri) override
    {
        received.push_back(uri);
        library->addItem(uri.toString(), Lumora::Queued);
    }
};

class WindowPartsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = new FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText}));
        receiver.library = library;
        operations = std::make_unique<Lumora::Window::QueueOperations>(runAtOnce({&manager, &receiver, library}));
        ON_CALL(manager, findDownload(::testing::_, ::testing::_))
            .WillByDefault([this](const QUrl &url, Lumora::MediaManagerInterface::QueuedFileInterface **out) {
                for (const Lumora::Window::ItemPtr &item : Lumora::Window::QueueReader::readQueue(library)) {
                    if (item->sourceUrl() == url) {
                        item->retain();
                        *out = item.get();
                        return true;
                    }
                }
                return false;
            });
    }

    // The model shows the library's queue as it is now.
    void showQueue() { model.setOrder(Lumora::Window::QueueReader::readQueue(library)); }

    Lumora::Window::ItemPtr add(const QString &name, Lumora::DownloadStatusValue status = Lumora::Queued)
    {
        return Lumora::Window::ItemPtr(library->addItem(QStringLiteral("http://h/%1.mp4").arg(name), status).get());
    }

    TestHostContext context;
    FakeMediaLibrary *library = nullptr;
    ::testing::NiceMock<MockDownloadManager> manager;
    QueueingReceiver receiver;
    Lumora::Window::QueueModel model;
    std::unique_ptr<Lumora::Window::QueueOperations> operations;
};

} // namespace LumoraTest
