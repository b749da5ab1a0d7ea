#include "remote/exit_status.h"

#include <cstdint>
#include <limits>

namespace fieldkeep {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

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

void StatusTrailerSplitter::feed(const char* data, std::size_t size) {
    std::size_t lastRunStart = std::string::npos;
    bool inDigits = heldEndsInDigit_;
    for (std::size_t i = 0; i < size; ++i) {
        const bool digit = isDigit(data[i]);
        if (digit && !inDigits) {
            lastRunStart = held_.size() + i;
        }
        inDigits = digit;
    }
    held_.append(data, size);
    heldEndsInDigit_ = inDigits;
    if (lastRunStart == std::string::npos || lastRunStart < 2) {
        return;
    }
    const std::size_t certain = lastRunStart - 2;
    emit_(held_.data(), certain);
    held_.erase(0, certain);
}

int StatusTrailerSplitter::finish(std::string& rest) {
    rest = std::move(held_);
    held_.clear();
    heldEndsInDigit_ = false;
    return splitExitStatus(rest);
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
    const std::int64_t limit = negative
                                   ? -static_cast<std::int64_t>(std::numeric_limits<int>::min())
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
