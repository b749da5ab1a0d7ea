// Fuzzes the exit-status split with arbitrary output bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "remote/exit_status.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string captured(reinterpret_cast<const char*>(data), size);
    std::string output = captured;
    const int status = fieldkeep::splitExitStatus(output);
    // The output is what came before the trailer, never more.
    require(output.size() < captured.size() || captured.empty());
    require(captured.compare(0, output.size(), output) == 0);
    // A trailer the remote shell would print always comes back intact.
    std::string wrapped = captured + "\n" + std::to_string(status < 0 ? 0 : status) + "\n";
    const int again = fieldkeep::splitExitStatus(wrapped);
    require(again == (status < 0 ? 0 : status));
    require(wrapped == captured);
    // Fed in pieces (sizes taken from the data), the split is the same.
    std::string passedOn;
    fieldkeep::StatusTrailerSplitter splitter(
        [&passedOn](const char* bytes, std::size_t n) { passedOn.append(bytes, n); });
    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 16;
    for (std::size_t at = 0; at < size; at += piece) {
        splitter.feed(captured.data() + at, std::min(piece, size - at));
    }
    std::string rest;
    require(splitter.finish(rest) == status);
    require(passedOn + rest == output);
    // parseIntOr never reads past a non-digit and honours its fallback.
    require(fieldkeep::parseIntOr(captured, -7) == -7 || captured.find_first_of("0123456789") !=
                                                             std::string::npos);
    return 0;
}
