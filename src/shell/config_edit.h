// In-place edits of one setting in a remote game settings file, run by a
// script on the host; the file never leaves the host. A value reaches the
// editing tools through their environment, which only the owner can read,
// never through an argument list.
#pragma once

#include <string>

namespace fieldkeep {

// The POSIX sh function `edit_option FILE KEY VALUE BLANK`, to be put into a
// script before its use. It rewrites every line of FILE that sets KEY (white
// space, KEY, one white space character) to keep all up to that separator and
// end in VALUE, or to be empty when BLANK is not empty. When no line sets KEY,
// or FILE is missing, it appends a line feed, KEY, a blank, VALUE and a line
// feed (creating FILE); blanking a key that no line sets leaves FILE as it is,
// and fails when FILE is missing. FILE ends up with mode 0600, rewritten
// through a new owner-only FILE.pre that replaces it; a symbolic link in place
// of either fails the edit. Fails with the tools' error text otherwise.
extern const char kEditOptionFunction[];

// The call that sets key to value in file.
std::string makeSetOptionCommand(const std::string& file, const std::string& key,
                                 const std::string& value);
// The call that blanks every line that sets key in file; the line count stays.
std::string makeDeleteOptionCommand(const std::string& file, const std::string& key);

}  // namespace fieldkeep
