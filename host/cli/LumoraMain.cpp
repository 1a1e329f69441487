#include "host/cli/LumoraMain.h"

#include "host/cli/CliSession.h"
#include "host/cli/CommandLine.h"
#include "host/cli/CommandSpec.h"
#include "host/player/AddressIntake.h"
#include "host/player/Home.h"
#include "host/player/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QThread>

namespace Lumora::Cli {

namespace {

// How long a command waits for a home held by another lumora that is starting or working directly.
constexpr std::chrono::seconds kHomeWait{15};
// Between two tries to reach a player that was stopping.
constexpr unsigned long kAskAgainMs = 100;

// Addresses are checked before anything is loaded or handed over: a typo costs nothing.
bool addressesAreFine(const Invocation &invocation, Console &console)
{
    bool fine = true;
    for (const QString &text : invocation.addresses) {
        QUrl url;
        QString reason;
        if (!Host::checkAddress(text, &url, &reason)) {
            console.error(QStringLiteral("lumora: %1: %2").arg(text, reason));
            fine = false;
        }
    }
    return fine;
}

// Holds the home, or hands the command to the player that holds it. Empty when this lumora now owns
// the home; else the exit code of the command handed over (or of the failure to).
std::optional<int> holdHomeOrHandOver(Host::InstanceGate &gate, const Invocation &invocation, Console &console)
{
    // A player that is stopping sends its askers away; they wait for the home and ask again, and
    // may become the player themselves.
    QString error;
    const QDeadlineTimer deadline(kHomeWait);
    for (;;) {
        const auto left = std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
        const Host::InstanceGate::Role role = gate.acquire(left, &error);
        if (role == Host::InstanceGate::Role::Failed) {
            console.error(QStringLiteral("lumora: ") + error);
            return ExitFailed;
        }
        if (role == Host::InstanceGate::Role::Owner)
            return std::nullopt;
        const std::unique_ptr<QLocalSocket> connection = gate.takeConnection();
        if (const std::optional<int> code = Host::forwardCommand(connection.get(), invocation.commandArguments, console))
            return *code;
        if (deadline.hasExpired()) {
            console.error(QStringLiteral("lumora: the player of this home did not take the command; try again"));
            return ExitFailed;
        }
        QThread::msleep(kAskAgainMs);
    }
}

} // namespace

int runLumora(const QStringList &arguments, Console &console)
{
    const ParseResult parsed = parseCommandLine(arguments);
    if (!parsed.invocation) {
        console.error(QStringLiteral("lumora: ") + parsed.error);
        console.error(QStringLiteral("Run \"lumora --help\" for the commands."));
        return ExitUsage;
    }
    const Invocation &invocation = *parsed.invocation;
    const CommandSpec &command = *invocation.command;
    if (command.scope == CommandSpec::Scope::Process)
        return command.run(invocation, console);

    QString error;
    if (!invocation.home.isEmpty() && !Host::applyHome(invocation.home, &error)) {
        console.error(QStringLiteral("lumora: ") + error);
        return ExitFailed;
    }
    if (command.scope == CommandSpec::Scope::OwnHome)
        return command.run(invocation, console);

    if (!addressesAreFine(invocation, console))
        return ExitUsage;
    Host::InstanceGate gate;
    if (const std::optional<int> code = holdHomeOrHandOver(gate, invocation, console))
        return *code;

    if (command.direct) {
        if (const std::optional<int> code = command.direct(invocation, console))
            return *code;
    }
    if (command.goal) {
        CliSession session(invocation, command.goal(invocation), console, gate.socketName());
        return session.exec();
    }
    console.error(QStringLiteral("lumora: this command needs a running player"));
    return ExitUsage;
}

} // namespace Lumora::Cli
