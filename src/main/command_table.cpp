#include "main/command_table.h"

#include "commands/commands.h"

namespace fieldkeep {

bool showHelp(talvor::opt::TOParsing /*options*/, RemoteRunner& /*host*/) {
    return true;
}

const std::vector<CommandRow>& commandTable() {
    // clang-format off
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
        {"status", showStatus},
        {"send", sendLine},
        {"log", showLog},
        {"players", showPlayers},
        {"help", showHelp},
    };
    // clang-format on
    return table;
}

}  // namespace fieldkeep
