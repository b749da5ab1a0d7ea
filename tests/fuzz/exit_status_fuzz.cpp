// Fuzzes the exit-status split: a printed trailer comes back intact, and fed in pieces (spilling
// to a file for one size) output splits as whole, passing on all but the last digit run at once.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "remote/exit_status.h"

static void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string captured(reinterpret_cast<const char*>(data), size);
    std::string output = captured;
    const int status = fieldkeep::splitExitStatus(output);
    std::string wrapped = captured + "\n" + std::to_string(std::max(status, 0)) + "\n";
    require(fieldkeep::splitExitStatus(wrapped) == std::max(status, 0) && wrapped == captured);
    const std::size_t lastDigit = captured.find_last_of("0123456789");
    const std::size_t lastRun =
        lastDigit == std::string::npos ? 0 : captured.find_last_not_of("0123456789", lastDigit) + 1;
    for (std::size_t piece = 1; piece <= 16; ++piece) {
        const bool spills = size > 1 && piece == 1 + data[0] % 16;
        const std::size_t limit = spills ? 1 + data[1] % 8 : 4096;
        std::string passedOn, flushed, rest;
        fieldkeep::StatusTrailerSplitter splitter(
            [&](const char* d, std::size_t n) { passedOn.append(d, n); }, limit);
        fieldkeep::StatusTrailerSplitter flushing(
            [&](const char* d, std::size_t n) { flushed.append(d, n); }, limit);
        for (std::size_t at = 0; at < size; at += piece) {
            splitter.feed(captured.data() + at, std::min(piece, size - at));
            flushing.feed(captured.data() + at, std::min(piece, size - at));
        }
        require(passedOn.size() + 2 >= lastRun);
        flushing.flush();
        require(splitter.finish(rest) == status && passedOn + rest == output);
        require(flushed == captured);
    }
    return 0;
}
