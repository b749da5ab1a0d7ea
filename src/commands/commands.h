// The command handlers, one for each row of the command table.
#pragma once

#include "commands/command_handler.h"

namespace fieldkeep {

bool execCommand(talvor::opt::TOParsing options);
bool uploadFile(talvor::opt::TOParsing options);  // --copy-file
bool checkHost(talvor::opt::TOParsing options);
bool checkOnRoot(talvor::opt::TOParsing options);
bool createUser(talvor::opt::TOParsing options);
bool checkInstall(talvor::opt::TOParsing options);
bool installServer(talvor::opt::TOParsing options);
bool startServer(talvor::opt::TOParsing options);
bool stopServer(talvor::opt::TOParsing options);
bool showStatus(talvor::opt::TOParsing options);
bool sendLine(talvor::opt::TOParsing options);  // --send
bool showLog(talvor::opt::TOParsing options);

}  // namespace fieldkeep
