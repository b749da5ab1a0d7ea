// Fuzzes the option library with argument vectors (words separated by NUL bytes) and checks what
// must hold for any input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "opt/toparsing.h"

static void require(bool condition) {
    if (!condition) { std::abort(); }
}

static bool isNameByte(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-'; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"prog", ""};
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) { words.emplace_back(); } else { words.back() += static_cast<char>(data[i]); }
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) { argv.push_back(w.c_str()); }
    talvor::opt::TOParsing options(static_cast<int>(argv.size()), argv.data());
    // A long option is its word "--NAME" or "--NAME=VALUE"; a letter is in its word.
    for (const auto& [name, entry] : options.opts().longOpts()) {
        const std::string& word = *entry.word;
        require(!name.empty() && name[0] != '-' && entry.name == name && word.rfind("--" + name, 0) == 0);
        require(word.size() == 2 + name.size() ? entry.value.empty() : word.substr(2 + name.size()) == "=" + entry.value);
        for (char c : name) { require(isNameByte(c)); }
    }
    for (const auto& [letter, entry] : options.opts().shortOpts()) {
        require(isNameByte(letter) && letter != '-' && entry.word->find(letter) != std::string::npos);
    }
    // Cleared lookups in every mode raise nothing; check raises only an unknown option or the missing -h.
    try {
        for (int mode = 0; mode < 4; ++mode) {
            for (const char* name : {"address", "cmd", "a", "_"}) {
                auto result = options.longOpt(name, mode);
                require(!result.found() || result.longEntry()->name == name);
                options.clear();
            }
        }
        auto h = options.shortOpt('h');
        options.check();
    } catch (const talvor::TError& e) {
        require(std::string(e.what()).rfind("Unknown option '-", 0) == 0 || std::string(e.what()) == "Requires short option '-h'");
    }
    return 0;
}
