// In-place edits of one setting in a remote game settings file: one composed
// remote line per change, the file never leaves the host.
#pragma once

#include <string>

#include "remote/runner.h"

namespace fieldkeep {

// The line that sets key to value (between double quotes when quoteValue),
// rewriting every line that sets the key, or appending the setting when none
// does (creating the file when it is missing).
std::string makeSetOptionCommand(const std::string& file, const std::string& key,
                                 const std::string& value, bool quoteValue);
// The line that blanks every line that sets key; the line count stays.
std::string makeDeleteOptionCommand(const std::string& file, const std::string& key);

// The value as the replacement part of a sed s/// command takes it literally.
std::string escapeSedReplacement(const std::string& value);

// Run the lines above; throw TUError with the remote error text on failure.
void setConfigOption(RemoteRunner& host, const std::string& file, const std::string& key,
                     const std::string& value, bool quoteValue);
void deleteConfigOption(RemoteRunner& host, const std::string& file, const std::string& key);

}  // namespace fieldkeep
