// --status: the state of a game server instance, learned with one remote
// script and turned into "key: value" lines here.
#pragma once

#include <optional>
#include <string>

#include "commands/instance_script.h"
#include "game/game_query.h"

namespace fieldkeep {

// The status script, run in the configuration directory: it prints what it
// finds as lines of a tag and words ("running PID", "rss KIB", "port HEX udp", ...).
std::string makeStatusScript(const GameDefinition& game);

// The report --status prints, from what the status script printed. Lines that
// do not parse are left out, and so is every key whose facts are incomplete.
// Throws TUError when the directory is missing or the script named no state.
std::string statusReport(const InstanceRun& run, const std::string& cfgDir);

// The game's query port of a running instance, 0 when the server holds no
// socket there (another process could answer); nothing when it does not run.
// Throws as statusReport.
std::optional<int> runningGamePort(const RemoteRunner& host, const InstanceRun& run,
                                   const std::string& cfgDir, const GameDefinition& game);

// The lines of the game's own answer to its query, or "query: no answer".
std::string gameReport(const std::optional<GameStatus>& game);

// Seconds since the epoch as "YYYY-MM-DDTHH:MM:SSZ"; empty when the year
// would not fit the calendar's fields.
std::string utcTime(long long seconds);

}  // namespace fieldkeep
