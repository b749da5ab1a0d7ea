#include "commands/commands.h"
#include "main/entry.h"

namespace fieldkeep {

bool showHelp(talvor::opt::TOParsing /*options*/, RemoteRunner& /*host*/) { return true; }

const std::vector<CommandRow>& commandTable() {
    static const std::vector<CommandRow> table = {
        {"exec", execCommand},
        {"copy-file", uploadFile},
        {"check-host", checkHost},
        {"check-on-root", checkOnRoot},
        {"create-user", createUser},
        {"check-install", checkInstall},
        {"install", installServer},
        {"start", startServer},
        {"stop", stopServer},
        {"help", showHelp},
    };
    return table;
}

}  // namespace fieldkeep
