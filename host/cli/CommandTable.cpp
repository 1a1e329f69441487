#include "host/cli/CommandDefinition.h"

#include "host/cli/commands/Commands.h"

#include <algorithm>
#include <vector>

namespace Lumora::Cli {

bool CommandDefinition::takesOption(const QString &option) const
{
    return this->option(option) != nullptr;
}

const OptionDefinition *CommandDefinition::option(const QString &nameOrShort) const
{
    for (const OptionDefinition &own : options) {
        if (nameOrShort == own.name || (!own.shortName.isEmpty() && nameOrShort == own.shortName))
            return &own;
    }
    return nullptr;
}

const std::vector<const CommandDefinition *> &commandTable()
{
    static const std::vector<const CommandDefinition *> table = {
        &Commands::get(),    &Commands::run(),   &Commands::list(),   &Commands::pause(),
        &Commands::resume(), &Commands::stop(),  &Commands::retry(),  &Commands::remove(),
        &Commands::move(),   &Commands::clear(), &Commands::play(),   &Commands::window(),
        &Commands::config(), &Commands::salvage(), &Commands::demo(), &Commands::help(), &Commands::version(),
    };
    return table;
}

const CommandDefinition *findCommand(const QString &name)
{
    for (const CommandDefinition *command : commandTable()) {
        if (name == command->name)
            return command;
    }
    return nullptr;
}

const OptionDefinition *findCommandOption(const QString &option)
{
    for (const CommandDefinition *command : commandTable()) {
        if (const OptionDefinition *own = command->option(option))
            return own;
    }
    return nullptr;
}

bool isCommandOption(const QString &option)
{
    return findCommandOption(option) != nullptr;
}

namespace {

// Letters to insert, delete, change or swap to turn a into b (Damerau-Levenshtein, restricted).
int editDistance(const QString &a, const QString &b)
{
    const qsizetype n = a.size();
    const qsizetype m = b.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1, 0));
    for (qsizetype i = 0; i <= n; ++i)
        d[i][0] = static_cast<int>(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

} // namespace

QString unknownCommand(const QString &word)
{
    const QString closest = closestCommand(word);
    return closest.isEmpty() ? QStringLiteral("unknown command \"%1\"").arg(word)
                             : QStringLiteral("unknown command \"%1\" (did you mean \"%2\"?)").arg(word, closest);
}

QString closestCommand(const QString &name)
{
    // Close means a slip of the hand: two edits at most, and fewer than the word has letters.
    constexpr int kMostEdits = 2;
    const QString typed = name.toLower();
    QString best;
    int bestDistance = kMostEdits + 1;
    for (const CommandDefinition *command : commandTable()) {
        const int distance = typed.size() >= 3 && command->name.startsWith(typed) ? 1 : editDistance(typed, command->name);
        if (distance < bestDistance && distance < typed.size()) {
            best = command->name;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace Lumora::Cli
