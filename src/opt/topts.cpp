#include "opt/topts.h"

namespace talvor::opt {
namespace {

// The syntax is defined on ASCII bytes; the locale must not widen it.
bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool startsName(char c) {
    return isAsciiLetter(c) || c == '_';
}
bool continuesName(char c) {
    return startsName(c) || c == '-';
}

}  // namespace

TOpts::TOpts(int argc, const char* const* argv) : store_(std::make_shared<Store>()) {
    if (argc <= 0 || argv == nullptr || argv[0] == nullptr) {
        return;
    }
    store_->programName = argv[0];
    // Entries point at the stored words, so the list must never reallocate.
    store_->args.reserve(static_cast<std::size_t>(argc - 1));
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        addWord(argv[i]);
    }
}

void TOpts::addWord(const char* word) {
    store_->args.emplace_back(word);
    const std::string& stored = store_->args.back();
    if (!parseLongWord(stored)) {
        parseShortWord(stored);
    }
}

bool TOpts::parseLongWord(const std::string& word) {
    if (word.size() < 3 || word[0] != '-' || word[1] != '-' || !startsName(word[2])) {
        return false;
    }
    std::size_t end = 3;
    while (end < word.size() && continuesName(word[end])) {
        ++end;
    }
    std::string value;
    if (end < word.size()) {
        if (word[end] != '=') {
            return false;
        }
        value = word.substr(end + 1);
    }
    std::string name = word.substr(2, end - 2);
    store_->longOpts[name] = TLongOpt{name, std::move(value), &word};
    return true;
}

bool TOpts::parseShortWord(const std::string& word) {
    if (word.size() < 2 || word[0] != '-') {
        return false;
    }
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (!startsName(word[i])) {
            return false;
        }
    }
    for (std::size_t i = 1; i < word.size(); ++i) {
        store_->shortOpts[word[i]] = TShortOpt{word[i], &word};
    }
    return true;
}

const std::string& TOpts::arg(std::uint64_t index) const {
    if (index >= store_->args.size()) {
        throw TOutOfRange(*this, index);
    }
    return store_->args[static_cast<std::size_t>(index)];
}

const TShortOpt* TOpts::findShort(char letter) const {
    auto it = store_->shortOpts.find(letter);
    return it == store_->shortOpts.end() ? nullptr : &it->second;
}

const TLongOpt* TOpts::findLong(const std::string& name) const {
    auto it = store_->longOpts.find(name);
    return it == store_->longOpts.end() ? nullptr : &it->second;
}

TOpts::TOutOfRange::TOutOfRange(TOpts opts, std::uint64_t index)
    : TOptsError("Wrong index (index = " + std::to_string(index) + ")", std::move(opts)),
      index_(index) {}

}  // namespace talvor::opt
