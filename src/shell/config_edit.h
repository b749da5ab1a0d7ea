// In-place edits of one setting in a remote game settings file: one composed
// remote line per change; the file never leaves the host. A value never appears
// in an argument list: it reaches the host ahead of the edits, on a command's
// standard input, into an owner-only store file (one value per line) that the
// edit lines read and the last edit removes.
#pragma once

#include <string>
#include <vector>

#include "remote/runner.h"

namespace fieldkeep {

// The shell text that, where the directory $D exists, stores count lines of its
// standard input in store, created afresh and readable by the owner only.
std::string makeStoreValuesCommand(const std::string& store, std::size_t count);

// The line that sets key to line number `line` (from 1) of store, rewriting
// every line that sets the key, or appending the setting when none does
// (creating the file when it is missing). The file ends up with mode 0600; a
// symbolic link in place of it or of FILE.pre fails the line. The store is
// removed when the line fails or when `last`.
std::string makeSetOptionCommand(const std::string& file, const std::string& key,
                                 const std::string& store, std::size_t line, bool last);
// The line that blanks every line that sets key; the line count stays.
std::string makeDeleteOptionCommand(const std::string& file, const std::string& key,
                                    const std::string& store, bool last);

// Run the lines above; throw TUError with the remote error text on failure.
void setConfigOption(RemoteRunner& host, const std::string& file, const std::string& key,
                     const std::string& store, std::size_t line, bool last);
void deleteConfigOption(RemoteRunner& host, const std::string& file, const std::string& key,
                        const std::string& store, bool last);

}  // namespace fieldkeep
