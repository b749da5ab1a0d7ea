// The command handlers, one for each row of the command table.
#pragma once

#include "commands/command_handler.h"

namespace fieldkeep {

bool execCommand(talvor::opt::TOParsing options, RemoteRunner& host);
bool uploadFile(talvor::opt::TOParsing options, RemoteRunner& host);  // --copy-file
bool checkHost(talvor::opt::TOParsing options, RemoteRunner& host);
bool checkOnRoot(talvor::opt::TOParsing options, RemoteRunner& host);
bool createUser(talvor::opt::TOParsing options, RemoteRunner& host);
bool checkInstall(talvor::opt::TOParsing options, RemoteRunner& host);
bool installServer(talvor::opt::TOParsing options, RemoteRunner& host);
bool startServer(talvor::opt::TOParsing options, RemoteRunner& host);
bool stopServer(talvor::opt::TOParsing options, RemoteRunner& host);
bool showStatus(talvor::opt::TOParsing options, RemoteRunner& host);
bool sendLine(talvor::opt::TOParsing options, RemoteRunner& host);  // --send
bool showLog(talvor::opt::TOParsing options, RemoteRunner& host);
bool showPlayers(talvor::opt::TOParsing options, RemoteRunner& host);

}  // namespace fieldkeep
