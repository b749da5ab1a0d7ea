// The manager's own error: a plain carrier of the complete text to print.
// Every layer below the entry point throws it; only the entry point catches it.
#pragma once

#include <string>

namespace fieldkeep {

struct TUError {
    std::string message;
};

}  // namespace fieldkeep
