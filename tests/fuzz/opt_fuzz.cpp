// Fuzzes the option library with arbitrary argument vectors (words separated by
// NUL bytes) and checks what must hold for any input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "opt/toparsing.h"

namespace {

bool isNameByte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
}

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkStore(const talvor::opt::TOpts& opts) {
    for (const auto& [name, entry] : opts.longOpts()) {
        require(!name.empty() && name[0] != '-' && entry.name == name);
        for (char c : name) {
            require(isNameByte(c));
        }
        const std::string& word = *entry.word;
        require(word.compare(0, 2 + name.size(), "--" + name) == 0);
        require(word.size() == 2 + name.size() ? entry.value.empty()
                                                : word.substr(3 + name.size()) == entry.value);
    }
    for (const auto& [letter, entry] : opts.shortOpts()) {
        require(isNameByte(letter) && letter != '-');
        require(entry.word->find(letter) != std::string::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"prog"};
    std::string current;
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    words.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    talvor::opt::TOParsing options(static_cast<int>(argv.size()), argv.data());
    checkStore(options.opts());
    const char* const names[] = {"address", "login", "cmd", "input", "exec", "a", "_"};
    int mode = 0;
    try {
        for (const char* name : names) {
            auto result = options.longOpt(name, mode++ % 4);
            require(!result.found() || result.longEntry()->name == name);
            options.clear();
        }
        auto h = options.shortOpt('h');
        options.check();
    } catch (const talvor::TError& e) {
        const std::string message = e.what();
        require(message.rfind("Unknown option '-", 0) == 0 ||
                message.rfind("Requires short option '-h'", 0) == 0);
    }
    return 0;
}
