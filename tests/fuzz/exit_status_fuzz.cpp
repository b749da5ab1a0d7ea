// Fuzzes the exit-status split with arbitrary output bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "remote/exit_status.h"

static void require(bool condition) {
    if (!condition) { std::abort(); }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string captured(reinterpret_cast<const char*>(data), size);
    std::string output = captured, passedOn, flushed, rest;
    const int status = fieldkeep::splitExitStatus(output);
    // The output is what came before the trailer, never more.
    require((output.size() < captured.size() || captured.empty()) && captured.rfind(output, 0) == 0);
    // A trailer the remote shell would print always comes back intact.
    std::string wrapped = captured + "\n" + std::to_string(std::max(status, 0)) + "\n";
    require(fieldkeep::splitExitStatus(wrapped) == std::max(status, 0) && wrapped == captured);
    // Fed in pieces, with a memory limit so small that what is held back spills to a file (sizes taken
    // from the data), the split is the same; flushing instead passes on every byte.
    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 16, limit = size < 2 ? 4 : 1 + data[1] % 8;
    fieldkeep::StatusTrailerSplitter splitter([&](const char* d, std::size_t n) { passedOn.append(d, n); }, limit);
    fieldkeep::StatusTrailerSplitter flushing([&](const char* d, std::size_t n) { flushed.append(d, n); }, limit);
    for (std::size_t at = 0; at < size; at += piece) {
        splitter.feed(captured.data() + at, std::min(piece, size - at));
        flushing.feed(captured.data() + at, std::min(piece, size - at));
    }
    flushing.flush();
    require(splitter.finish(rest) == status && passedOn + rest == output && flushed == captured);
    return 0;
}
