// Fuzzes what comes from outside with any bytes. As a command's output: a printed trailer
// comes back intact, and fed in pieces (spilling to a file for one size) output splits as
// whole, holding back no more than a final digit run and the bytes around it. As an argument
// vector (words split at NUL bytes): lookups in every mode and the final check raise nothing
// but option errors.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "opt/toparsing.h"
#include "remote/exit_status.h"

static void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

static void parseAsArguments(const std::string& bytes) {
    std::istringstream input(bytes);
    std::vector<std::string> words{"fieldkeep"};
    for (std::string word; words.size() < 64 && std::getline(input, word, '\0');) {
        words.push_back(word);
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    talvor::opt::TOParsing options(static_cast<int>(argv.size()), argv.data());
    try {
        for (const char* name : {"address", "login", "cmd", "input"}) {
            options.longOpt(name, name[1] % 4);
            options.clear();
        }
        options.shortOpt('h');
        options.check();
    } catch (const talvor::TError&) {  // any other exception ends the run as a crash
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
        const bool runMayEnd = lastDigit != std::string::npos && size - lastDigit <= 3;
        require(passedOn.size() + 2 + fieldkeep::StatusTrailerSplitter::kPassOnAtLeast >=
                (runMayEnd ? lastRun : size));
        flushing.flush();
        require(splitter.finish(rest) == status && passedOn + rest == output);
        require(flushed == captured);
    }
    parseAsArguments(captured);
    return 0;
}
