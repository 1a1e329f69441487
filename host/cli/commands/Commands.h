#pragma once
// Every command's definition, one file each in this folder; CommandTable.cpp puts them in order.
// Below them, what several commands share.

#include <QString>
#include "vdm/VexoDownloadManager.h"

#include <memory>

namespace Lumora::Cli {

struct CommandDefinition;
struct Invocation;
class Goal;

namespace Commands {

const CommandDefinition &get();
const CommandDefinition &run();
const CommandDefinition &list();
const CommandDefinition &pause();
const CommandDefinition &resume();
const CommandDefinition &stop();
const CommandDefinition &retry();
const CommandDefinition &remove();
const CommandDefinition &move();
const CommandDefinition &clear();
const CommandDefinition &play();
const CommandDefinition &config();
const CommandDefinition &demo();
const CommandDefinition &help();
const CommandDefinition &version();
const CommandDefinition &window();
const CommandDefinition &salvage();

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
