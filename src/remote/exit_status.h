// The exit status of a remote line travels as the last line of its standard
// output: the line is wrapped so the remote shell prints it, and we cut it off.
#pragma once

#include <string>

namespace fieldkeep {

// "( COMMAND ); echo \"\n$?\"": the status on a line of its own, whatever the
// command printed last.
std::string wrapCommand(const std::string& command);

// Cuts the status trailer off output in place and returns the status, or -1
// when the output holds no number.
int splitExitStatus(std::string& output);

// The signed decimal integer at the start of text (after white space), or
// fallback when there is none or it does not fit 32 bits.
int parseIntOr(const std::string& text, int fallback);

}  // namespace fieldkeep
