#include "host/player/InstanceChannel.h"

#include "host/player/ExitCode.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "tests/support/TempHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <atomic>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

namespace {

// XDG_RUNTIME_DIR for one test, put back afterwards.
struct RuntimeFolder {
    QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    bool wasSet = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    explicit RuntimeFolder(const QString &path)
    {
        if (path.isEmpty())
            ::unsetenv("XDG_RUNTIME_DIR");
        else
            ::setenv("XDG_RUNTIME_DIR", QFile::encodeName(path).constData(), 1);
    }
    ~RuntimeFolder()
    {
        if (wasSet)
            ::setenv("XDG_RUNTIME_DIR", saved.constData(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
};

mode_t modeOf(const QString &path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 0777;
}

// The helper that plays the other user, started as uid and gid (set in the child before exec).
std::unique_ptr<QProcess> asAnotherUser(uid_t uid, gid_t gid, const QStringList &arguments)
{
    auto helper = std::make_unique<QProcess>();
    helper->setChildProcessModifier([uid, gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(3);
    });
    helper->start(QStringLiteral(LUMORA_PEER_HELPER), arguments);
    return helper;
}

// The helper's last line, "heard N" or "answered N", as N; -1 when it said nothing of the kind.
long long reported(QProcess &helper, const QString &what)
{
    const QString text = QString::fromUtf8(helper.readAllStandardOutput()).trimmed();
    const QString last = text.section('\n', -1);
    return last.startsWith(what + ' ') ? last.mid(what.size() + 1).toLongLong() : -1;
}

} // namespace

TEST(InstanceChannel, theSocketLivesInAFolderOnlyItsUserCanEnter)
{
    LumoraTest::TempHome home;
    const QString runtime = home.path() + "/run-user";
    ASSERT_TRUE(QDir().mkpath(runtime));
    {
        RuntimeFolder inRuntime(runtime);
        QString error;
        const QString path = instanceSocketPath(homeIdentity(), &error);
        ASSERT_EQ(path, runtime + "/lumora/" + instanceSocketName(homeIdentity())) << error.toStdString();
        EXPECT_EQ(modeOf(runtime + "/lumora"), 0700u);

        // A folder left open to others is closed again; a link in its place is refused.
        ASSERT_EQ(::chmod(QFile::encodeName(runtime + "/lumora").constData(), 0777), 0);
        EXPECT_EQ(instanceSocketPath(homeIdentity(), &error), path);
        EXPECT_EQ(modeOf(runtime + "/lumora"), 0700u);
        ASSERT_TRUE(QDir(runtime + "/lumora").removeRecursively());
        ASSERT_TRUE(QDir().mkpath(home.path() + "/elsewhere"));
        ASSERT_TRUE(QFile::link(home.path() + "/elsewhere", runtime + "/lumora"));
        EXPECT_TRUE(instanceSocketPath(homeIdentity(), &error).isEmpty());
        EXPECT_TRUE(error.contains("not a folder")) << error.toStdString();
    }
    RuntimeFolder none{QString()};
    QString error;
    EXPECT_TRUE(instanceSocketPath(homeIdentity(), &error).startsWith(Lumora::OSUtilities::dataDirectory() + "/run/"))
        << error.toStdString();
    EXPECT_EQ(modeOf(Lumora::OSUtilities::dataDirectory() + "/run"), 0700u);
}

TEST(InstanceChannel, anotherLocalUserCanNeitherAnswerNorAsk)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to act as a second local user (the user nobody, through setuid in a child "
                        "process); CI runs it as root";
    const passwd *other = ::getpwnam("nobody");
    if (!other)
        GTEST_SKIP() << "needs a second local user: the user nobody does not exist (useradd nobody)";
    const uid_t otherUid = other->pw_uid;
    const gid_t otherGid = other->pw_gid;
    // A folder anyone can write to, as /tmp was for the socket: the name is the other user's to take.
    QTemporaryDir open;
    ASSERT_EQ(::chmod(QFile::encodeName(open.path()).constData(), 0777), 0);

    // 1. The other user listens first, and answers every command with "done".
    const QString taken = open.path() + "/taken";
    std::unique_ptr<QProcess> listener = asAnotherUser(otherUid, otherGid, {"listen", taken});
    ASSERT_TRUE(listener->waitForStarted(5000));
    ASSERT_TRUE(listener->waitForReadyRead(5000)) << listener->readAllStandardError().toStdString();
    ASSERT_EQ(listener->readLine().trimmed(), "ready");
    {
        QLocalSocket socket;
        socket.connectToServer(taken);
        ASSERT_TRUE(socket.waitForConnected(5000));
        RecordedOutput output;
        const std::optional<int> code = forwardCommand(&socket, {"get", "http://alice:secret@h/a.mp4"}, output);
        EXPECT_EQ(code, std::optional<int>(ExitFailed));
        EXPECT_NE(output.err.find("another user"), std::string::npos) << output.err;
        EXPECT_EQ(output.out.find("completed"), std::string::npos);
    }
    ASSERT_TRUE(listener->waitForFinished(10000));
    EXPECT_EQ(reported(*listener, "heard"), 0) << "the command, credentials and all, went to another user";

    // 2. This user listens; the other user's command is neither read nor answered.
    bool handled = false;
    InstanceServer server([&](const QStringList &, const QString &, std::shared_ptr<CommandReply> reply) {
        handled = true;
        reply->finish(0);
    });
    const QString mine = open.path() + "/mine";
    QString error;
    ASSERT_TRUE(server.listen(mine, &error)) << error.toStdString();
    ASSERT_EQ(::chmod(QFile::encodeName(mine).constData(), 0777), 0);  // past the file mode: the peer check alone
    std::unique_ptr<QProcess> asker = asAnotherUser(otherUid, otherGid, {"ask", mine});
    QDeadlineTimer deadline(10000);
    while (asker->state() != QProcess::NotRunning && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(asker->state(), QProcess::NotRunning);
    EXPECT_EQ(reported(*asker, "answered"), 0);
    EXPECT_FALSE(handled);
    EXPECT_EQ(server.refusedPeers(), 1);
}

TEST(InstanceChannel, aHomeThatCannotBeLockedSaysWhyAndWhatToDo)
{
    const QString full = Lumora::Host::lockFailure("/home/ann/.local/share/lumora", 0, true);
    EXPECT_TRUE(full.contains("disk that holds /home/ann/.local/share/lumora is full")) << full.toStdString();
    EXPECT_TRUE(full.contains("free some space"));
    const QString readOnly = Lumora::Host::lockFailure("/mnt/ro/lumora", 1 << 20, false);
    EXPECT_TRUE(readOnly.contains("cannot be written")) << readOnly.toStdString();
    EXPECT_TRUE(readOnly.contains("--home"));
}
