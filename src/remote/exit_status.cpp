#include "remote/exit_status.h"

#include <cstdint>
#include <limits>

namespace fieldkeep {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string wrapCommand(const std::string& command) {
    return "( " + command + " ); echo \"\n$?\"";
}

int splitExitStatus(std::string& output) {
    std::size_t pos = output.size();
    while (pos > 0 && !isDigit(output[pos - 1])) {
        --pos;
    }
    if (pos == 0) {
        const int status = parseIntOr(output, -1);
        output.clear();
        return status;
    }
    while (pos > 0 && isDigit(output[pos - 1])) {
        --pos;
    }
    if (pos > 0 && output[pos - 1] == '-') {
        --pos;
    }
    const int status = parseIntOr(output.substr(pos), -1);
    // The byte before the number is the line feed the trailer printed.
    output.resize(pos > 0 ? pos - 1 : 0);
    return status;
}

int parseIntOr(const std::string& text, int fallback) {
    std::size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= text.size() || !isDigit(text[pos])) {
        return fallback;
    }
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<int>::min())
                                        : std::numeric_limits<int>::max();
    std::int64_t value = 0;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > limit) {
            return fallback;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace fieldkeep
