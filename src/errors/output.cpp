#include "errors/output.h"

#include <iostream>

namespace fieldkeep {
namespace {

// Whether the output so far is empty or ends with a line feed.
bool atLineStart = true;

}  // namespace

void writeOut(std::string_view text) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
    if (!text.empty()) {
        atLineStart = text.back() == '\n';
    }
}

void writeLine(std::string_view text) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.put('\n');
    std::cout.flush();
    atLineStart = true;
}

void endLine() {
    if (!atLineStart) {
        writeOut("\n");
    }
}

}  // namespace fieldkeep
