// --players: the players of a running instance, as the game itself tells them
// in its answer to the query game browsers make.
#include "commands/commands.h"
#include "commands/options.h"
#include "commands/status.h"
#include "errors/output.h"
#include "errors/shown_text.h"
#include "errors/uerror.h"
#include "game/game_query.h"
#include "shell/value_checks.h"

namespace fieldkeep {

std::string playersTable(const GameStatus& game) {
    std::string table = "name\tteam\tscore\tkills\tdeaths\tping\n";
    for (const GamePlayer& p : game.players) {
        for (const std::string* field : {&p.name, &p.team, &p.score, &p.kills, &p.deaths}) {
            table += shownValue(*field) + "\t";
        }
        table += shownValue(p.ping) + "\n";
    }
    return table;
}

bool showPlayers(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string cfgDir = requiredValue(options, "cfg-dir");
    const GameDefinition definition = chosenGame(options);
    options.check();
    requireAbsolutePlainPath(cfgDir, "cfg-dir");
    host.connect();
    const auto port =
        runningGamePort(host,
                        runInstanceScript(host, {definition, cfgDir, makeStatusScript(definition)},
                                          "Status query failed: "),
                        cfgDir, definition);
    if (!port) {
        throw TUError{"Server is not running"};
    }
    const auto game = *port != 0 ? queryGame(host, definition, *port) : std::nullopt;
    if (!game) {
        throw TUError{"Server did not answer its query"};
    }
    writeOut(playersTable(*game));
    return true;
}

}  // namespace fieldkeep
