// In-place edits of one setting in a remote game settings file: one composed
// remote line per change, the file never leaves the host and the value reaches
// it on the line's standard input only, never in an argument list.
#pragma once

#include <string>

#include "remote/runner.h"

namespace fieldkeep {

// The line that sets key to the value it reads as one line from its standard
// input, rewriting every line that sets the key, or appending the setting when
// none does (creating the file when it is missing). The file ends up with mode
// 0600; a symbolic link in place of it or of FILE.pre fails the line.
std::string makeSetOptionCommand(const std::string& file, const std::string& key);
// The line that blanks every line that sets key; the line count stays.
std::string makeDeleteOptionCommand(const std::string& file, const std::string& key);

// Run the lines above, value as written (quotes included) on the standard input;
// throw TUError with the remote error text on failure.
void setConfigOption(RemoteRunner& host, const std::string& file, const std::string& key,
                     const std::string& value);
void deleteConfigOption(RemoteRunner& host, const std::string& file, const std::string& key);

}  // namespace fieldkeep
