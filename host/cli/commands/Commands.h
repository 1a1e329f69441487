#pragma once
// Every command's definition, one file each in this folder; CommandTable.cpp puts them in order.
// Below them, what several commands share.

#include <QString>
#include "vdm/VexoDownloadManager.h"

#include <memory>

namespace Lumora::Cli {

struct CommandSpec;
struct Invocation;
class Goal;

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
const CommandSpec &salvage();

// Whether the command line opens the window, which needs a GUI application: decided before any
// application object exists.
bool opensWindow(int argc, char **argv);

// Options more than one command takes.
inline constexpr char InputFileOption[] = "--input-file";
inline constexpr char DetachOption[] = "--detach";
inline constexpr char LimitRateOption[] = "--limit-rate";
inline constexpr char UntilIdleOption[] = "--until-idle";

// The environment variable the download engine reads its rate limit from, when the player starts.
inline constexpr char EngineRateVariable[] = VDM_ENV_MAX_DOWNLOAD_RATE;
// The usage error for a rate that cannot be read.
QString limitRateError(const QString &given);
// What a command handed to a running player says about its --limit-rate.
QString runningPlayerKeepsItsRate();

// The goal of a player that serves the saved queue: until a signal stops it, or with untilIdle until
// nothing more happens by itself; resumeFirst lifts a pause first (a queue that does not run on
// start-up). Exits with the status of the downloads that failed meanwhile (untilIdle only).
std::unique_ptr<Goal> makeQueueGoal(bool untilIdle, bool resumeFirst);

} // namespace Commands

} // namespace Lumora::Cli
