#pragma once
// How the commands read the arguments they have in common. Each command's parse function in the
// command table uses these, so that the same kind of argument is read and refused the same way.

#include "host/cli/CommandLine.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace Lumora::Cli::Arguments {

// For a command that takes no arguments.
bool none(const QStringList &args, Invocation &invocation, QString *error);
// For a command that takes one download id (retry, remove, play).
bool oneId(const QStringList &args, Invocation &invocation, QString *error);

// A download id: a decimal number from 1; false for anything else.
bool parseId(const QString &text, uint64_t *id);
// The usage error for text that is no download id.
QString notAnId(const QString &text);
// The usage error for arguments a command does not take.
QString takesNoArguments(const Invocation &invocation);

} // namespace Lumora::Cli::Arguments
