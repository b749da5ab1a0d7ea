// Fuzzes the option library with words split at NUL bytes: all stay in args, and each option
// found is named by letters, '_' and '-' and spelt by its word.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "opt/toparsing.h"

static void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_-";
    std::vector<std::string> words{"prog", ""};
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.emplace_back();
        } else {
            words.back() += static_cast<char>(data[i]);
        }
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    const talvor::opt::TOpts opts(static_cast<int>(argv.size()), argv.data());
    require(opts.args() == std::vector<std::string>(words.begin() + 1, words.end()));
    for (const auto& [name, e] : opts.longOpts()) {
        require(!name.empty() && name[0] != '-' && e.name == name);
        require(name.find_first_not_of(chars) == std::string::npos);
        const bool bare = e.word->size() == 2 + name.size();
        require(*e.word == "--" + name + (bare ? "" : "=" + e.value));
    }
    for (const auto& [letter, e] : opts.shortOpts()) {
        require(letter != '-' && chars.find(letter) != std::string::npos);
        require(e.word->find(letter) != std::string::npos);
    }
    return 0;
}
