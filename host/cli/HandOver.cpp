#include "host/cli/HandOver.h"

#include "host/cli/CommandLine.h"
#include "host/cli/CommandDefinition.h"

namespace Lumora::Cli {

void handOver(RunningPlayer &player, const QStringList &args, const QString &cwd,
              std::shared_ptr<Host::CommandReply> reply)
{
    const ParseResult parsed = parseHandedOver(args);
    if (!parsed.invocation) {
        reply->error(QStringLiteral("lumora: ") + parsed.error);
        reply->finish(ExitUsage);
        return;
    }
    if (player.stopping()) {
        reply->retryLater();
        return;
    }
    const Invocation &invocation = *parsed.invocation;
    const CommandDefinition &command = *invocation.command;
    if (command.handedOver) {
        command.handedOver(player, invocation, cwd, std::move(reply));
        return;
    }
    if (command.live) {
        player.submit(
            [invocation, reply, live = command.live](const Host::LivePlugins &plugins) {
                reply->finish(live(invocation, plugins, *reply));
            },
            [reply] { reply->retryLater(); });
        return;
    }
    reply->error(QStringLiteral("lumora: \"%1\" is not handed to a running player").arg(args.value(0)));
    reply->finish(ExitUsage);
}

} // namespace Lumora::Cli
