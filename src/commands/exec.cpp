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
    // The output is passed on as it arrives: the caller sees progress, and a
    // command that prints gigabytes needs no room for them here.
    const RemoteResult result = execRemoteStreaming(
        command, input,
        [](const char* data, std::size_t size) { writeOut(std::string_view(data, size)); });
    writeOut(result.output);
    writeOut(result.errors);
    writeLine("");
    writeLine(std::to_string(result.status));
    return true;
}

}  // namespace fieldkeep
