// Fuzzes the option library with argument vectors (words separated by NUL bytes): a long option is its
// word "--NAME" or "--NAME=VALUE", a letter is in its word, names are made of letters, '_' and '-', and
// every word stays in args.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "opt/toparsing.h"

static void require(bool condition) {
    if (!condition) { std::abort(); }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string nameBytes = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_-";
    std::vector<std::string> words{"prog", ""};
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) { words.emplace_back(); } else { words.back() += static_cast<char>(data[i]); }
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) { argv.push_back(w.c_str()); }
    talvor::opt::TOParsing options(static_cast<int>(argv.size()), argv.data());
    require(options.opts().args() == std::vector<std::string>(words.begin() + 1, words.end()));
    for (const auto& [name, e] : options.opts().longOpts()) {
        require(!name.empty() && name[0] != '-' && e.name == name && name.find_first_not_of(nameBytes) == std::string::npos);
        require(*e.word == "--" + name + (e.word->size() == 2 + name.size() ? "" : "=" + e.value));
    }
    for (const auto& [letter, e] : options.opts().shortOpts()) {
        require(letter != '-' && nameBytes.find(letter) != std::string::npos && e.word->find(letter) != std::string::npos);
    }
    // Nothing was looked up, so check raises for the first option given, if any.
    try {
        options.check();
        require(options.opts().longOpts().empty() && options.opts().shortOpts().empty());
    } catch (const talvor::TError& e) {
        require(std::string(e.what()).rfind("Unknown option '-", 0) == 0);
    }
    return 0;
}
