// --exec: runs the caller's command line unchanged and reports what it printed
// and its exit status.
#include "remote/exec.h"

#include "commands/commands.h"
#include "commands/options.h"
#include "errors/output.h"
#include "remote/runner.h"

namespace fieldkeep {

bool execCommand(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string command = requiredValue(options, "cmd");
    const std::string input = optionalValue(options, "input", talvor::opt::ReqArg);
    options.check();
    host.connect();
    // The output is passed on as it arrives: the caller sees progress, and a
    // command that prints gigabytes needs no room for them here.
    const auto print = [](const char* data, std::size_t size) {
        writeOut(std::string_view(data, size));
    };
    // When the run breaks, what arrived stays shown and the message follows on
    // a line of its own.
    const int status = host.execStreaming(command, input, print);
    writeLine("");
    writeLine(std::to_string(status));
    return true;
}

}  // namespace fieldkeep
