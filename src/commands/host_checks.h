// The decisions of --check-host and --check-on-root, apart from the remote
// work so they can be checked without a host.
#pragma once

#include <string>

#include "remote/exec.h"

namespace fieldkeep {

// What --check-host prints for the result of "uname -a".
std::string hostCheckReport(const RemoteResult& uname);
// Whether the output of "id -u" names the superuser.
bool namesSuperuser(const std::string& idOutput);

}  // namespace fieldkeep
