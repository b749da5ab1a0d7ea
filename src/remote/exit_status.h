// The exit status of a remote line travels as the last line of its standard
// output: the line is wrapped so the remote shell prints it, and we cut it off.
#pragma once

#include <string>

#include "remote/output_sink.h"
#include "remote/spill_buffer.h"

namespace fieldkeep {

// The most bytes after the status: its line end, "\r\n" on a terminal.
constexpr std::size_t kLineEndBytes = 2;

// "( COMMAND ); echo \"\n$?\"": the status on a line of its own, whatever the
// command printed last.
std::string wrapCommand(const std::string& command);

// Cuts the status trailer off output in place and returns the status. The
// trailer is the run of digits that ends the output, or all but its last one or
// two bytes (a line end, "\r\n" on a terminal), with a minus sign and one byte
// (the line feed) before it. Output that does not end so has no trailer: it
// stays whole and the status is -1.
int splitExitStatus(std::string& output);

// splitExitStatus for output that arrives in pieces: passes on every byte known
// to lie before the trailer when a digit run begins or kPassOnAtLeast of them
// are known, so that it holds back little more than what may still be part of
// the trailer: the last two bytes, or a final digit run, the two bytes after it
// and the two before it. What is held back past memoryLimit waits in a file.
class StatusTrailerSplitter {
public:
    static constexpr std::size_t kPassOnAtLeast = std::size_t{64} * 1024;

    explicit StatusTrailerSplitter(OutputSink emit,
                                   std::size_t memoryLimit = SpillBuffer::kDefaultMemoryLimit)
        : emit_(std::move(emit)), held_(memoryLimit) {}

    void feed(const char* data, std::size_t size);
    // Cuts the trailer off what is held back: returns the status and leaves the
    // output not yet passed on in rest.
    int finish(std::string& rest);
    // Passes on everything held back, as output: for output that ended without
    // its trailer because the connection broke.
    void flush();

private:
    // Whether the last digit run may still be the trailer: a line end at most follows it.
    bool runMayEnd() const { return runStart_ != kNoRun && bytesAfterRun_ <= kLineEndBytes; }
    void reset();

    OutputSink emit_;
    SpillBuffer held_;
    static constexpr std::size_t kNoRun = static_cast<std::size_t>(-1);
    std::size_t runStart_ = kNoRun;  // where in held_ the last digit run starts
    std::size_t runLength_ = 0;
    std::size_t bytesAfterRun_ = 0;  // bytes held after that run
};

// The signed decimal integer at the start of text (after white space), or
// fallback when there is none or it does not fit 32 bits.
int parseIntOr(const std::string& text, int fallback);

}  // namespace fieldkeep
