// The exit status of a remote line travels as the last line of its standard
// output: the line is wrapped so the remote shell prints it, and we cut it off.
#pragma once

#include <functional>
#include <string>

namespace fieldkeep {

// "( COMMAND ); echo \"\n$?\"": the status on a line of its own, whatever the
// command printed last.
std::string wrapCommand(const std::string& command);

// Cuts the status trailer off output in place and returns the status, or -1
// when the output holds no number.
int splitExitStatus(std::string& output);

// Receives standard output piece by piece.
using OutputSink = std::function<void(const char* data, std::size_t size)>;

// splitExitStatus for output that arrives in pieces: passes on, as soon as it is
// known, every byte that lies before the trailer, and keeps only the rest. The
// trailer is cut at the last run of digits, so whatever precedes the last digit
// run seen so far (less the two bytes a minus sign and a line feed may take) is
// output for certain.
class StatusTrailerSplitter {
public:
    explicit StatusTrailerSplitter(OutputSink emit) : emit_(std::move(emit)) {}

    void feed(const char* data, std::size_t size);
    // Cuts the trailer off what is held back: returns the status and leaves the
    // output not yet passed on in rest.
    int finish(std::string& rest);

private:
    OutputSink emit_;
    std::string held_;
    bool heldEndsInDigit_ = false;
};

// The signed decimal integer at the start of text (after white space), or
// fallback when there is none or it does not fit 32 bits.
int parseIntOr(const std::string& text, int fallback);

}  // namespace fieldkeep
