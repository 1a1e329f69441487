#pragma once
// Every command's definition, one file each in this folder; CommandTable.cpp puts them in order.

namespace Lumora::Cli {

struct CommandSpec;

namespace Commands {

const CommandSpec &get();
const CommandSpec &run();
const CommandSpec &list();
const CommandSpec &pause();
const CommandSpec &resume();
const CommandSpec &stop();
const CommandSpec &retry();
const CommandSpec &remove();
const CommandSpec &move();
const CommandSpec &clear();
const CommandSpec &play();
const CommandSpec &config();
const CommandSpec &demo();
const CommandSpec &help();
const CommandSpec &version();
const CommandSpec &window();

// Whether the command line opens the window, which needs a GUI application: decided before any
// application object exists.
bool opensWindow(int argc, char **argv);

} // namespace Commands

} // namespace Lumora::Cli
