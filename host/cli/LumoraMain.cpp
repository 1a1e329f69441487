#include "host/cli/LumoraMain.h"

#include "host/cli/CliSession.h"
#include "host/cli/CommandLine.h"
#include "host/cli/CommandDefinition.h"
#include "host/cli/commands/Commands.h"
#include "host/player/AddressIntake.h"
#include "host/player/Format.h"
#include "host/player/Home.h"
#include "host/player/InstanceChannel.h"
#include "host/player/PlayerSettings.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace Lumora::Cli {

namespace {

// How long a command waits for a home held by another lumora that is starting or working directly.
constexpr std::chrono::seconds kHomeWait{15};
// Between two tries to reach a player that was stopping.
constexpr unsigned long kAskAgainMs = 100;
// A hand-over that lasted longer than this was followed, not refused at once.
constexpr qint64 kFollowedMs = 1000;
constexpr char kStandardInput[] = "-";
constexpr QChar kComment = QLatin1Char('#');

// The addresses of an input file (or standard input): one a line, blank lines and lines starting
// with # left out.
bool readAddressList(const QString &source, QStringList *addresses, QString *error)
{
    QFile file;
    const bool standardInput = source == QLatin1String(kStandardInput);
    const bool opened = standardInput ? file.open(stdin, QIODevice::ReadOnly) : (file.setFileName(source), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = QStringLiteral("cannot read the addresses from %1: %2")
                     .arg(standardInput ? QStringLiteral("standard input") : source, file.errorString());
        return false;
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty() && !line.startsWith(kComment))
            *addresses << line;
    }
    return true;
}

// Addresses are checked before anything is loaded or handed over: a typo costs nothing, and it
// costs only its own address. The addresses that pass stay, percent-encoded where they had to be;
// the command arguments handed to a running player are rebuilt from them. False when nothing is left
// to do.
bool settleAddresses(Invocation &invocation, Console &console)
{
    if (invocation.flags.contains(QLatin1String(Commands::InputFileOption))) {
        QString error;
        if (!readAddressList(invocation.value(Commands::InputFileOption), &invocation.addresses, &error)) {
            console.error(QStringLiteral("lumora: ") + error);
            return false;
        }
        if (invocation.addresses.isEmpty()) {
            console.error(QStringLiteral("lumora: %1 holds no address").arg(invocation.value(Commands::InputFileOption)));
            return false;
        }
    }
    if (invocation.addresses.isEmpty())
        return true;
    QStringList fine;
    for (const QString &text : invocation.addresses) {
        QUrl url;
        QString reason;
        if (Host::checkAddress(text, &url, &reason)) {
            fine << url.toString(QUrl::FullyEncoded);
        } else {
            const QUrl given(text, QUrl::TolerantMode);
            console.error(QStringLiteral("lumora: refused %1: %2").arg(given.isValid() ? Host::maskedAddress(given) : text, reason));
            ++invocation.refusedAddresses;
        }
    }
    invocation.addresses = fine;
    QStringList handed{invocation.command->name};
    for (const QString &flag : invocation.flags) {
        if (flag == QLatin1String(Commands::InputFileOption))
            continue;
        handed << flag;
        if (invocation.values.contains(flag))
            handed << invocation.values.value(flag);
    }
    invocation.commandArguments = handed + fine;
    return !fine.isEmpty();
}

// Holds the home, or hands the command to the player that holds it. Empty when this lumora now owns
// the home; else the exit code of the command handed over (or of the failure to).
std::optional<int> holdHomeOrHandOver(Host::InstanceGate &gate, const Invocation &invocation, Console &console)
{
    // A player that is stopping sends its askers away; they wait for the home and ask again, and
    // may become the player themselves.
    QString error;
    QDeadlineTimer deadline(kHomeWait);
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
        QElapsedTimer asked;
        asked.start();
        if (const std::optional<int> code = Host::forwardCommand(connection.get(), invocation.commandArguments, console))
            return *code;
        // A follower sent back after following its downloads for a while waits for the home anew.
        if (asked.elapsed() > kFollowedMs)
            deadline = QDeadlineTimer(kHomeWait);
        if (deadline.hasExpired()) {
            console.error(QStringLiteral("lumora: the player of this home did not take the command; try again"));
            return ExitFailed;
        }
        QThread::msleep(kAskAgainMs);
    }
}

// A player this lumora becomes reads its rate limit from the environment as its engine loads.
void applyRateLimit(const Invocation &invocation)
{
    uint64_t rate = 0;
    if (invocation.flags.contains(QLatin1String(Commands::LimitRateOption))
        && Host::PlayerSettings::parseRate(invocation.value(Commands::LimitRateOption), &rate))
        ::setenv(Commands::EngineRateVariable, QByteArray::number(static_cast<qulonglong>(rate)).constData(), 1);
}

} // namespace

int runLumora(const QStringList &arguments, Console &console)
{
    ParseResult parsed = parseCommandLine(arguments);
    if (!parsed.invocation) {
        console.error(QStringLiteral("lumora: ") + parsed.error);
        console.error(parsed.command.isEmpty() ? QStringLiteral("Run \"lumora --help\" for the commands.")
                                               : QStringLiteral("Run \"lumora help %1\" for its arguments.").arg(parsed.command));
        return ExitUsage;
    }
    Invocation &invocation = *parsed.invocation;
    console.setQuiet(invocation.quiet);
    const CommandDefinition &command = *invocation.command;
    if (command.scope == CommandDefinition::Scope::Process)
        return command.run(invocation, console);

    QString error;
    if (!invocation.home.isEmpty() && !Host::applyHome(invocation.home, &error)) {
        console.error(QStringLiteral("lumora: ") + error);
        return ExitFailed;
    }
    if (command.scope == CommandDefinition::Scope::OwnHome)
        return command.run(invocation, console);

    if (!settleAddresses(invocation, console))
        return ExitUsage;
    const int refused = invocation.refusedAddresses ? ExitUsage : ExitOk;
    Host::InstanceGate gate;
    if (const std::optional<int> code = holdHomeOrHandOver(gate, invocation, console))
        return combineExit(*code, refused);

    if (command.direct) {
        if (const std::optional<int> code = command.direct(invocation, console))
            return combineExit(*code, refused);
    }
    if (command.goal) {
        if (gate.socketPath().isEmpty()) {
            console.error(QStringLiteral("lumora: no private place for the player's socket: ") + gate.socketError());
            return ExitFailed;
        }
        applyRateLimit(invocation);
        CliSession session(invocation, command.goal(invocation), console, gate.socketPath());
        return session.exec();
    }
    console.error(QStringLiteral("lumora: this command needs a running player"));
    return ExitUsage;
}

} // namespace Lumora::Cli
