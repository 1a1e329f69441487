#pragma once
// The manual page lumora(1) and the shell completions, written from the same command table, global
// options, settings table, exit statuses and failure advice that "lumora --help" shows, so that
// none of them can say something the program does not do. The build runs lumora-docs to write
// them; the installation puts them where man, bash and zsh look.

#include <QString>

namespace Lumora::Cli::Docs {

// roff for man(7): name, synopsis, description, commands with their options, global options,
// settings, environment, exit status, what to do when a download fails, files.
QString manPage();
// A bash completion script: commands, global and command options, setting names, folders for
// --home, files for --input-file, download ids from "lumora list".
QString bashCompletion();
// A zsh completion function (#compdef lumora) with the same knowledge, and descriptions.
QString zshCompletion();

} // namespace Lumora::Cli::Docs
