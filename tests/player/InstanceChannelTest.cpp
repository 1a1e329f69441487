#include "host/player/InstanceChannel.h"

#include "host/player/ExitCode.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "tests/support/TempHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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

// Reads what arrives on fd for up to timeoutMs or until the other end closes; how many bytes.
ssize_t drain(int fd, int timeoutMs)
{
    ssize_t total = 0;
    char buffer[4096];
    for (;;) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, timeoutMs) <= 0)
            return total;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return total;
        total += n;
    }
}

// In a child process running as uid and gid (async-signal-safe calls only, then _exit): work(fd of a
// pipe back to the parent).
pid_t asAnotherUser(uid_t uid, gid_t gid, int *readEnd, const std::function<void(int)> &work)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(3);
        work(pipeFds[1]);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    *readEnd = pipeFds[0];
    return pid;
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
    RuntimeFolder none(QString());
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
    const QByteArray taken = QFile::encodeName(open.path() + "/taken");
    int fromListener = -1;
    const pid_t listener = asAnotherUser(otherUid, otherGid, &fromListener, [&taken](int report) {
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, taken.constData(), static_cast<size_t>(taken.size()));
        if (server < 0 || ::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::chmod(taken.constData(), 0777) != 0 || ::listen(server, 1) != 0)
            ::_exit(4);
        const char ready = 'r';
        [[maybe_unused]] ssize_t w = ::write(report, &ready, 1);
        const int client = ::accept(server, nullptr, nullptr);
        const ssize_t heard = drain(client, 2000);
        const char fake[] = "{\"out\":\"completed\"}\n{\"exit\":0}\n";
        w = ::write(client, fake, sizeof fake - 1);
        w = ::write(report, &heard, sizeof heard);
    });
    ASSERT_GT(listener, 0);
    char ready = 0;
    ASSERT_EQ(::read(fromListener, &ready, 1), 1);
    {
        QLocalSocket socket;
        socket.connectToServer(QString::fromLocal8Bit(taken));
        ASSERT_TRUE(socket.waitForConnected(5000));
        RecordedOutput output;
        const std::optional<int> code = forwardCommand(&socket, {"get", "http://alice:secret@h/a.mp4"}, output);
        EXPECT_EQ(code, std::optional<int>(ExitFailed));
        EXPECT_NE(output.err.find("another user"), std::string::npos) << output.err;
        EXPECT_EQ(output.out.find("completed"), std::string::npos);
    }
    ssize_t heard = -1;
    ASSERT_EQ(::read(fromListener, &heard, sizeof heard), static_cast<ssize_t>(sizeof heard));
    EXPECT_EQ(heard, 0) << "the command, credentials and all, went to another user";
    ::close(fromListener);
    ::waitpid(listener, nullptr, 0);

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
    const QByteArray minePath = QFile::encodeName(mine);
    int fromAsker = -1;
    const pid_t asker = asAnotherUser(otherUid, otherGid, &fromAsker, [&minePath](int report) {
        const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, minePath.constData(), static_cast<size_t>(minePath.size()));
        if (client < 0 || ::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            ::_exit(5);
        const char request[] = "{\"args\":[\"list\"],\"cwd\":\"/\"}\n";
        [[maybe_unused]] ssize_t w = ::write(client, request, sizeof request - 1);
        const ssize_t answered = drain(client, 3000);
        w = ::write(report, &answered, sizeof answered);
    });
    ASSERT_GT(asker, 0);
    ssize_t answered = -1;
    QDeadlineTimer deadline(10000);
    pollfd wait{fromAsker, POLLIN, 0};
    while (::poll(&wait, 1, 0) == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(::read(fromAsker, &answered, sizeof answered), static_cast<ssize_t>(sizeof answered));
    EXPECT_EQ(answered, 0);
    EXPECT_FALSE(handled);
    EXPECT_EQ(server.refusedPeers(), 1);
    ::close(fromAsker);
    ::waitpid(asker, nullptr, 0);
}
