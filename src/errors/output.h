// Everything the program says goes to standard output, flushed at every line end,
// because the caller reads our output as it comes and parses it.
#pragma once

#include <string_view>

namespace fieldkeep {

// Writes text as it is and flushes.
void writeOut(std::string_view text);
// Writes text and a line feed, then flushes.
void writeLine(std::string_view text);
// Writes a line feed unless nothing was written yet or the last byte written
// was one, so that what follows starts a line of its own.
void endLine();

}  // namespace fieldkeep
