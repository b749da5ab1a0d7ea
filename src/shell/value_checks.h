// The checks on option values made before anything is sent: the rules that
// keep a value safe where a composed line or a generated script uses it.
// Each refusal throws TUError naming the option.
#pragma once

#include <string>

namespace fieldkeep {

// Throws TUError unless path begins with a slash.
void requireAbsolutePath(const std::string& path);

// The generated scripts expand some values unquoted, so a blank, tab or line
// feed would split them and *, ? or [ would expand them. Throws TUError naming
// the option when value holds any of these.
void requirePlainWord(const std::string& value, const std::string& optionName);

// Throws TUError naming the option when path has a ".." step: the host would
// take the parent of whatever the step before led to.
void requireNoParentStep(const std::string& path, const std::string& optionName);
// The three rules above, in that order: a directory that generated scripts use.
void requireAbsolutePlainPath(const std::string& path, const std::string& optionName);

// Throws TUError naming the option when value holds a line feed or carriage
// return, which would end a settings line or a protocol line early.
void requireSingleLine(const std::string& value, const std::string& optionName);

// Throws TUError naming the option when value holds a double quote, which would
// end a quoted setting early.
void requireNoDoubleQuote(const std::string& value, const std::string& optionName);

// Throws TUError naming the option when value starts with '-': a remote tool
// that receives it as an argument would take it for one of its options.
void requireNoLeadingDash(const std::string& value, const std::string& optionName);

// Whether text is a decimal number of at most five digits from 0 to 65535.
bool isPortNumber(const std::string& text);

// path with repeated slashes collapsed, "." segments dropped, ".." segments
// resolved against the segment before them and trailing slashes dropped,
// without asking any file system: "/srv//a/./b/../c/" becomes "/srv/a/c". The
// root stays "/"; an empty relative result is ".".
std::string normalizePath(const std::string& path);

}  // namespace fieldkeep
