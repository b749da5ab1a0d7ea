// In-place edits of the settings in a remote game settings file, run by a
// script on the host; the file never leaves the host. A value reaches the
// editing tools through their environment, which only the owner can read,
// never through an argument list.
#pragma once

#include <string>
#include <vector>

namespace fieldkeep {

// The POSIX sh function `edit_settings FILE KEY VALUE BLANK...`, to be put into
// a script before its use. It makes in one pass over FILE what editing the
// keys one after another, in their order, would make of it: every line that
// sets a KEY (white space, KEY, one white space character) keeps all up to
// that separator and ends in its VALUE, or is emptied when BLANK is not empty;
// for each KEY that no line sets and that is not blanked, a line feed, KEY, a
// blank, VALUE and a line feed are appended (a missing FILE is created).
// FILE ends up with mode 0600, rewritten through a new owner-only FILE.pre
// that replaces it; a symbolic link in place of either fails. On failure its
// status is the number (from 1) of the key whose edit would have failed first:
// the first key for a file that cannot be rewritten, a blanked one that comes
// before any set one when FILE is missing. The tools' error text tells why.
extern const char kEditSettingsFunction[];

struct SettingEdit {
    std::string key;
    std::string value;  // as written, quotes included
    bool blank;         // blank the key's lines instead of setting it
};

// The call that makes the edits in file. In the quake dialect a line that sets a
// key may start with set, seta, sets or setu, and an appended one starts with seta.
std::string makeEditSettingsCommand(const std::string& file, const std::vector<SettingEdit>& edits,
                                    bool quake = false);

}  // namespace fieldkeep
