// --exec: runs the caller's command line unchanged and reports what it printed
// and its exit status.
#include "commands/commands.h"
#include "commands/options.h"
#include "errors/output.h"
#include "remote/connection.h"

namespace fieldkeep {

bool execCommand(talvor::opt::TOParsing options) {
    const std::string command = requiredValue(options, "cmd");
    const std::string input = optionalValue(options, "input", talvor::opt::ReqArg);
    options.check();
    connectRemote();
    const RemoteResult result = execRemote(command, input, false);
    // Written piece by piece: the output can be large and needs no copy.
    writeOut(result.output);
    writeOut(result.errors);
    writeLine("");
    writeLine(std::to_string(result.status));
    return true;
}

}  // namespace fieldkeep
