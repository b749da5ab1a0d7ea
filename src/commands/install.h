// The install script of --install.
#pragma once

#include <string>

namespace fieldkeep {

// The whole text of install.sh for an archive URL and a temporary directory.
std::string makeInstallScript(const std::string& url, const std::string& dir);

}  // namespace fieldkeep
