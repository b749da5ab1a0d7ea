// The command handlers and the pure decisions behind their output.
#pragma once

#include <string>

#include "commands/command_handler.h"
#include "remote/exec.h"

namespace fieldkeep {

bool execCommand(talvor::opt::TOParsing options);
bool checkHost(talvor::opt::TOParsing options);
bool checkOnRoot(talvor::opt::TOParsing options);

// What --check-host prints for the result of "uname -a".
std::string hostCheckReport(const RemoteResult& uname);
// Whether the output of "id -u" names the superuser.
bool namesSuperuser(const std::string& idOutput);

}  // namespace fieldkeep
