// --check-install: whether a server directory holds the installed game's key
// files; prints "ok" or "failed".
#include "commands/check_install.h"

#include "commands/commands.h"
#include "commands/options.h"
#include "errors/output.h"
#include "game/game_definition.h"
#include "remote/runner.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {

std::string makeServerFilesCheck(const std::string& dir, const GameDefinition& game) {
    const std::string q = shellQuote(dir);
    std::string line;
    for (const std::string& file : game.installCheck) {
        line += (line.empty() ? "find " : " && find ") + q + "/" + shellWord(file) +
                (line.empty() ? " 2>/dev/null" : " >/dev/null") + " >/dev/null 2>&1";
    }
    return line + " && echo ok || echo failed";
}

bool checkServerFiles(RemoteRunner& host, const std::string& dir, const GameDefinition& game) {
    requireAbsolutePath(dir);
    const RemoteResult check =
        host.runOrThrow(makeServerFilesCheck(dir, game), "BF1942 files check failed");
    return check.output == "ok\n" || check.output == "ok";
}

bool checkInstall(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string dir = requiredValue(options, "dir");
    const GameDefinition game = chosenGame(options);
    options.check();
    host.connect();
    writeLine(checkServerFiles(host, dir, game) ? "ok" : "failed");
    return true;
}

}  // namespace fieldkeep
