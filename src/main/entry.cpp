#include "main/entry.h"

#include <exception>
#include <optional>

#include "errors/report.h"
#include "errors/uerror.h"
#include "main/command_table.h"
#include "main/connection_params.h"

namespace fieldkeep {
namespace {

using talvor::opt::NoArg;
using talvor::opt::TOParsing;

void runWithoutCommand(TOParsing& options, RemoteRunner& host) {
    auto help = options.shortOpt('h');
    if (help.found()) {
        showHelp(options, host);
        return;
    }
    // No command is no error, unless something unknown was given.
    options.clear();
    options.check();
}

// Each command lookup's result stays held in its frame until the dispatch is
// over, so a failed lookup never raises a missing-option error of its own.
void dispatchFrom(TOParsing& options, const std::vector<CommandRow>& table, std::size_t row,
                  RemoteRunner& host) {
    if (row == table.size()) {
        runWithoutCommand(options, host);
        return;
    }
    auto command = options.longOpt(table[row].option, NoArg);
    if (command.found() && table[row].handler(options, host)) {
        return;
    }
    dispatchFrom(options, table, row + 1, host);
}

}  // namespace

int runFieldkeep(int argc, const char* const* argv, const std::vector<CommandRow>& table,
                 RemoteRunner& host) {
    int status = 0;
    try {
        TOParsing options(argc, argv);
        host.session() = readConnectionParams(options);
        dispatchFrom(options, table, 0, host);
    } catch (...) {
        // Past the run's time limit, whatever broke broke because of it.
        status = reportFailure(host.session().runClock.timedOut()
                                   ? std::make_exception_ptr(TUError{"Run timed out"})
                                   : std::current_exception());
    }
    host.disconnect();
    return status;
}

}  // namespace fieldkeep
