#include "host/cli/CommandArguments.h"

#include "host/cli/CommandDefinition.h"

namespace Lumora::Cli::Arguments {

bool none(const QStringList &args, Invocation &invocation, QString *error)
{
    if (args.isEmpty())
        return true;
    *error = takesNoArguments(invocation);
    return false;
}

bool oneId(const QStringList &args, Invocation &invocation, QString *error)
{
    if (args.size() != 1) {
        *error = QStringLiteral("\"%1\" needs one download id").arg(invocation.command->name);
        return false;
    }
    if (!parseId(args[0], &invocation.id)) {
        *error = notAnId(args[0]);
        return false;
    }
    return true;
}

bool parseId(const QString &text, uint64_t *id)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value == 0 || text.startsWith('+'))
        return false;
    *id = value;
    return true;
}

QString notAnId(const QString &text)
{
    return QStringLiteral("\"%1\" is not a download id (see \"lumora list\")").arg(text);
}

QString takesNoArguments(const Invocation &invocation)
{
    return QStringLiteral("\"%1\" takes no arguments").arg(invocation.command->name);
}

} // namespace Lumora::Cli::Arguments
