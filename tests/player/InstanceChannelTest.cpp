#include "host/player/InstanceChannel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QUuid>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Lumora::Host;

namespace {

// What comes back to the asker, as its console would show it: lines on out and err, data as given.
struct RecordedOutput : Output {
    std::string out;
    std::string err;
    void message(const QString &line) override { out += line.toStdString() + '\n'; }
    void error(const QString &line) override { err += line.toStdString() + '\n'; }
    void data(const QString &text) override { out += text.toStdString(); }
};

// A second lumora's side, on a thread of its own, while the test's main thread serves.
struct Asker {
    std::optional<int> code;
    RecordedOutput output;
    std::atomic<bool> done{false};
    std::thread thread;

    Asker(const QString &name, const QStringList &args)
    {
        thread = std::thread([this, name, args] {
            QLocalSocket socket;
            socket.connectToServer(name);
            if (socket.waitForConnected(5000))
                code = forwardCommand(&socket, args, output);
            done = true;
        });
    }
    ~Asker() { thread.join(); }

    bool wait()
    {
        QDeadlineTimer deadline(10000);
        while (!done && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done;
    }
};

QString uniqueName()
{
    return "lumora-test-" + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

} // namespace

TEST(InstanceChannel, handedOverCommandAnswersOnTheRightStreamsWithItsExitCode)
{
    QStringList received;
    QString receivedCwd;
    InstanceServer server([&](const QStringList &args, const QString &cwd, std::shared_ptr<CommandReply> output) {
        received = args;
        receivedCwd = cwd;
        // From another thread, as the operation thread answers.
        std::thread([output] {
            output->message("queued [4] clip");
            output->error("lumora: refused x.txt");
            output->data("[]\n");
            output->finish(2);
        }).detach();
    });
    const QString name = uniqueName();
    QString error;
    ASSERT_TRUE(server.listen(name, &error)) << error.toStdString();

    Asker asker(name, {"get", "http://h/a.mp4", "http://h/x.txt"});
    ASSERT_TRUE(asker.wait());
    ASSERT_TRUE(asker.code.has_value());
    EXPECT_EQ(*asker.code, 2);
    EXPECT_EQ(received, (QStringList{"get", "http://h/a.mp4", "http://h/x.txt"}));
    EXPECT_FALSE(receivedCwd.isEmpty());
    EXPECT_EQ(asker.output.out, "queued [4] clip\n[]\n");
    EXPECT_EQ(asker.output.err, "lumora: refused x.txt\n");
}

TEST(InstanceChannel, aStoppingPlayerSendsTheAskerBackToTryAgain)
{
    InstanceServer server([&](const QStringList &, const QString &, std::shared_ptr<CommandReply> output) {
        output->retryLater();
    });
    const QString name = uniqueName();
    QString error;
    ASSERT_TRUE(server.listen(name, &error)) << error.toStdString();

    Asker asker(name, {"list"});
    ASSERT_TRUE(asker.wait());
    EXPECT_FALSE(asker.code.has_value());
    EXPECT_TRUE(asker.output.out.empty());
}

TEST(InstanceChannel, socketNamesFollowTheHome)
{
    EXPECT_EQ(instanceSocketName("/home/a/.local/share/lumora"), instanceSocketName("/home/a/.local/share/lumora"));
    EXPECT_NE(instanceSocketName("/tmp/one"), instanceSocketName("/tmp/two"));
    EXPECT_TRUE(instanceSocketName("/tmp/one").startsWith("lumora-"));
    EXPECT_LT(instanceSocketName(QString(300, 'x')).size(), 40);  // short enough for any socket path
}
