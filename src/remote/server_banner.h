// Versions read off a server's identification banner, such as
// "SSH-2.0-OpenSSH_9.2p1 Debian-2" or "SSH-2.0-dropbear_2022.83".
#pragma once

#include <optional>
#include <string_view>
#include <utility>

namespace fieldkeep::remote {

// The version MAJOR.MINOR that follows prefix at the start of text; whatever
// comes after the minor number's digits is ignored. Nullopt when text does not
// start with prefix and two numbers joined by a dot.
std::optional<std::pair<int, int>> versionAfter(std::string_view text, std::string_view prefix);

}  // namespace fieldkeep::remote
