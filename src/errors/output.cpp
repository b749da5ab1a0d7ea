#include "errors/output.h"

#include <iostream>

namespace fieldkeep {

void writeOut(std::string_view text) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
}

void writeLine(std::string_view text) {
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.put('\n');
    std::cout.flush();
}

}  // namespace fieldkeep
