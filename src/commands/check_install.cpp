// --check-install: whether a server directory holds the installed game's key
// files; prints "ok" or "failed".
#include "commands/check_install.h"

#include "commands/commands.h"
#include "commands/options.h"
#include "errors/output.h"
#include "remote/runner.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {

std::string makeServerFilesCheck(const std::string& dir) {
    const std::string q = shellQuote(dir);
    return "find " + q + "/start.sh 2>/dev/null >/dev/null 2>&1" + " && find " + q +
           "/mods/bf1942/init.con >/dev/null >/dev/null 2>&1" + " && echo ok || echo failed";
}

bool checkServerFiles(RemoteRunner& host, const std::string& dir) {
    requireAbsolutePath(dir);
    const RemoteResult check =
        host.runOrThrow(makeServerFilesCheck(dir), "BF1942 files check failed");
    return check.output == "ok\n" || check.output == "ok";
}

bool checkInstall(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string dir = requiredValue(options, "dir");
    options.check();
    host.connect();
    writeLine(checkServerFiles(host, dir) ? "ok" : "failed");
    return true;
}

}  // namespace fieldkeep
