#include "commands/commands.h"
#include "main/entry.h"

namespace fieldkeep {

bool showHelp(talvor::opt::TOParsing /*options*/) { return true; }

const std::vector<CommandRow>& commandTable() {
    static const std::vector<CommandRow> table = {
        {"exec", execCommand},
        {"check-host", checkHost},
        {"check-on-root", checkOnRoot},
        {"help", showHelp},
    };
    return table;
}

}  // namespace fieldkeep
