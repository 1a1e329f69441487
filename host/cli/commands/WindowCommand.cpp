#include "host/cli/CommandDefinition.h"
#include "host/cli/HandOver.h"
#include "host/cli/HandOverFollowers.h"
#include "host/cli/commands/Commands.h"
#include "host/player/InstanceChannel.h"
#include "host/window/WindowSession.h"

#include <QApplication>

namespace Lumora::Cli::Commands {

namespace {

bool parseWindow(const QStringList &args, Invocation &invocation, QString *)
{
    invocation.addresses = args;
    return true;
}

// The window is the player of the home: it runs as this command's own work while this lumora holds
// the home, serving the same channel a "lumora run" serves.
std::optional<int> runWindow(const Invocation &invocation, Output &output)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        output.error(QStringLiteral("lumora: the window needs a graphical session"));
        return ExitFailed;
    }
    Window::WindowSession::Options options;
    QString error;
    options.socketPath = Host::instanceSocketPath(Host::homeIdentity(), &error);
    if (options.socketPath.isEmpty()) {
        output.error(QStringLiteral("lumora: ") + error);
        return ExitFailed;
    }
    options.handOver = [](RunningPlayer &player, const QStringList &args, const QString &cwd,
                          std::shared_ptr<Host::CommandReply> reply) { handOver(player, args, cwd, std::move(reply)); };
    options.ownCommand = window().name;
    options.makeFollowers = [](Host::Player &player) -> std::unique_ptr<DownloadFollowers> {
        return std::make_unique<HandOverFollowers>([&player](uint64_t id) { return player.item(id); },
                                                   [&player](uint64_t id) { return player.transfer(id); });
    };
    options.addresses = invocation.addresses;
    Window::WindowSession session(options);
    if (!session.start(&error)) {
        output.error(QStringLiteral("lumora: ") + error);
        return ExitFailed;
    }
    return session.exec();
}

// A window takes this command itself (it shows itself and queues the addresses); a player without a
// window cannot grow one.
void handOverWindow(RunningPlayer &, const Invocation &, const QString &, std::shared_ptr<Host::CommandReply> reply)
{
    reply->error(QStringLiteral("lumora: a lumora without a window is the player of this home (pid %1); stop it, then "
                                "open the window")
                     .arg(QCoreApplication::applicationPid()));
    reply->finish(ExitFailed);
}

} // namespace

const CommandDefinition &window()
{
    static const CommandDefinition definition{
        .name = QStringLiteral("window"),
        .synopsis = QStringLiteral("window [URL...]"),
        .summary = QStringLiteral("open the Downloads window (and queue the addresses)"),
        .help = QStringLiteral("Becomes the player of the home with a window: the queue as a table, with its actions, "
                               "settings and notices, and the tray where the desktop has one. Other lumora commands "
                               "are handed to it like to \"lumora run\". When the window is open already, it is shown "
                               "and the addresses are queued there."),
        .scope = CommandDefinition::Scope::Home,
        .parse = parseWindow,
        .direct = runWindow,
        .handedOver = handOverWindow,
    };
    return definition;
}

bool opensWindow(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ParseResult parsed = parseCommandLine(arguments);
    return parsed.invocation && parsed.invocation->command == &window();
}

} // namespace Lumora::Cli::Commands
