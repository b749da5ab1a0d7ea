// --log: the last lines of the server's error log, taken on the host in the
// held configuration directory so that only they travel, and passed on as
// they arrive.
#include <string_view>

#include "commands/commands.h"
#include "commands/instance_script.h"
#include "commands/options.h"
#include "errors/decimal.h"
#include "errors/output.h"
#include "errors/uerror.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

// No log, nothing to print; only a regular file that is no symbolic link is
// read, so that a planted link shows no other file and a pipe cannot hold the run.
const char kLogScript[] = R"([ -e stderr.log ] || [ -h stderr.log ] || exit 0
[ -f stderr.log ] && [ ! -h stderr.log ] && exec tail -n @LINES@ stderr.log 2>/dev/null)";

constexpr int kMaxLines = 10000;

// The --lines value: 50 when absent; a decimal number from 1 to 10000.
std::string lineCount(const std::string& value) {
    if (value.empty()) {
        return "50";
    }
    if (decimalNumber(value, kMaxLines, 5).value_or(0) < 1) {
        throw TUError{"Option '--lines' must be a number from 1 to 10000"};
    }
    return value;
}

}  // namespace

bool showLog(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string cfgDir = requiredValue(options, "cfg-dir");
    const std::string lines = optionalValue(options, "lines", talvor::opt::ReqArg);
    const GameDefinition game = chosenGame(options);
    options.check();
    requireAbsolutePlainPath(cfgDir, "cfg-dir");
    const std::string count = lineCount(lines);
    host.connect();
    const std::string log = cfgDir + "/stderr.log";
    const auto print = [](const char* data, std::size_t size) {
        writeOut(std::string_view(data, size));
    };
    const std::string failure = "Failed to read from the file " + log;
    const InstanceRun run = streamInstanceScript(
        host, {game, cfgDir, fillShellTemplate(kLogScript, {{"LINES", count}})}, failure + ": ",
        print);
    // A directory that cannot be entered holds no log to show.
    if (run.entered && run.result.status != 0) {
        throw TUError{failure};
    }
    return true;
}

}  // namespace fieldkeep
