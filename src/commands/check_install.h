// The installed-files check of --check-install.
#pragma once

#include <string>

#include "remote/runner.h"

namespace fieldkeep {

// The remote line that prints "ok" when dir holds start.sh and mods/bf1942/init.con.
std::string makeServerFilesCheck(const std::string& dir);
// Runs that line; throws TUError when dir is relative or the line could not run.
bool checkServerFiles(RemoteRunner& host, const std::string& dir);

}  // namespace fieldkeep
