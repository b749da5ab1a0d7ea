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

// parseIntOr of a run of digits that may be longer than memory should hold:
// leading zeros do not count towards overflow.
int parseDigitRun(const SpillBuffer& held, std::size_t start, std::size_t length, bool negative) {
    constexpr std::size_t kMostSignificantDigits = 10;
    std::string digits;
    held.visit(start, length, [&digits](const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size && digits.size() <= kMostSignificantDigits; ++i) {
            if (!digits.empty() || data[i] != '0') {
                digits += data[i];
            }
        }
    });
    if (digits.size() > kMostSignificantDigits) {
        return -1;
    }
    return parseIntOr((negative ? "-" : "") + (digits.empty() ? std::string("0") : digits), -1);
}

}  // namespace

std::string wrapCommand(const std::string& command) {
    return "( " + command + " ); echo \"\n$?\"";
}

int splitExitStatus(std::string& output) {
    std::size_t end = output.size();
    for (std::size_t i = 0; i < kLineEndBytes && end > 0 && !isDigit(output[end - 1]); ++i) {
        --end;
    }
    if (end == 0 || !isDigit(output[end - 1])) {
        return -1;
    }
    std::size_t pos = end;
    while (pos > 0 && isDigit(output[pos - 1])) {
        --pos;
    }
    if (pos > 0 && output[pos - 1] == '-') {
        --pos;
    }
    const int status = parseIntOr(output.substr(pos, end - pos), -1);
    // The byte before the number is the line feed the trailer printed.
    output.resize(pos > 0 ? pos - 1 : 0);
    return status;
}

void StatusTrailerSplitter::feed(const char* data, std::size_t size) {
    const bool endsInDigit = runStart_ != kNoRun && bytesAfterRun_ == 0;
    bool runStarted = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (!isDigit(data[i])) {
            ++bytesAfterRun_;
        } else if (bytesAfterRun_ > 0 || (i == 0 && !endsInDigit)) {
            runStart_ = held_.size() + i;
            runLength_ = 1;
            bytesAfterRun_ = 0;
            runStarted = true;
        } else {
            ++runLength_;
        }
    }
    held_.append(data, size);
    const std::size_t keepFrom = runMayEnd() ? runStart_ : held_.size();
    const std::size_t certain = keepFrom > 2 ? keepFrom - 2 : 0;
    // Output without digits goes on in large pieces rather than a write per
    // packet, so that short answers reach the caller in one piece.
    if (!runStarted && certain < kPassOnAtLeast) {
        return;
    }
    held_.emitFront(certain, emit_);
    if (runStart_ != kNoRun) {
        runStart_ = runStart_ >= certain ? runStart_ - certain : kNoRun;
    }
}

// The same cut as splitExitStatus, read from the held bytes without loading
// them: the run is the status, with a minus sign before it, and the byte before
// that is the trailer's line feed.
int StatusTrailerSplitter::finish(std::string& rest) {
    int status = -1;
    if (runMayEnd()) {
        std::size_t start = runStart_;
        const bool negative = start > 0 && held_.copy(start - 1, 1) == "-";
        start -= negative ? 1 : 0;
        status = parseDigitRun(held_, runStart_, runLength_, negative);
        rest = held_.copy(0, start > 0 ? start - 1 : 0);
    } else {
        rest = held_.copy(0, held_.size());
    }
    reset();
    return status;
}

void StatusTrailerSplitter::flush() {
    held_.emitFront(held_.size(), emit_);
    reset();
}

void StatusTrailerSplitter::reset() {
    held_.clear();
    runStart_ = kNoRun;
    runLength_ = 0;
    bytesAfterRun_ = 0;
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
