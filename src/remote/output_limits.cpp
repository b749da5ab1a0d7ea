#include "remote/output_limits.h"

namespace fieldkeep {

TUError tooMuchOutput() {
    return TUError{"Too much output from the host"};
}

OutputSink boundedAppend(std::string& text, std::size_t limit) {
    return [&text, limit](const char* data, std::size_t size) {
        if (size > limit - text.size()) {
            throw tooMuchOutput();
        }
        text.append(data, size);
    };
}

}  // namespace fieldkeep
