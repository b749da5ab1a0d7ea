// The command handlers and the pure decisions behind their output.
#pragma once

#include <string>

#include "commands/command_handler.h"
#include "remote/exec.h"
#include "remote/runner.h"

namespace fieldkeep {

bool execCommand(talvor::opt::TOParsing options);
bool uploadFile(talvor::opt::TOParsing options);
bool checkHost(talvor::opt::TOParsing options);
bool checkOnRoot(talvor::opt::TOParsing options);
bool createUser(talvor::opt::TOParsing options);
bool checkInstall(talvor::opt::TOParsing options);
bool installServer(talvor::opt::TOParsing options);
bool startServer(talvor::opt::TOParsing options);
bool stopServer(talvor::opt::TOParsing options);

// What --check-host prints for the result of "uname -a".
std::string hostCheckReport(const RemoteResult& uname);
// Whether the output of "id -u" names the superuser.
bool namesSuperuser(const std::string& idOutput);

// The remote line that prints "ok" when dir holds start.sh and mods/bf1942/init.con.
std::string makeServerFilesCheck(const std::string& dir);
// Runs that line; throws TUError when dir is relative or the line could not run.
bool checkServerFiles(RemoteRunner& host, const std::string& dir);

// The text of stop.sh for a configuration directory.
std::string makeStopScript(const std::string& cfgDir);
// Writes stop.sh into the configuration directory and runs it; throws TUError
// only when the script cannot be written.
void shutDownServer(RemoteRunner& host, const std::string& cfgDir);

// The whole text of install.sh for an archive URL and a temporary directory.
std::string makeInstallScript(const std::string& url, const std::string& dir);

}  // namespace fieldkeep
