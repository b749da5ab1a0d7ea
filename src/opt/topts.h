// The parsed command line: which long options (with their values) and which
// short option letters were given. It applies the word syntax once, when built,
// and knows nothing of which options a program expects.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "errors/terror.h"

namespace talvor::opt {

struct TShortOpt {
    char letter;
    const std::string* word;  // the argument word it was given in
};

struct TLongOpt {
    std::string name;
    std::string value;        // text after the first '='; empty without one
    const std::string* word;  // the argument word it was given in
};

// A reference-counted handle: copies share one store.
class TOpts {
public:
    class TOptsError;
    class TOutOfRange;

    using ShortMap = std::map<char, TShortOpt>;
    using LongMap = std::map<std::string, TLongOpt>;

    // Never fails: words that break the syntax are kept in args() only.
    TOpts(int argc, const char* const* argv);

    const std::string& programName() const { return store_->programName; }
    const std::vector<std::string>& args() const { return store_->args; }
    // The argument word at index; throws TOutOfRange past the end.
    const std::string& arg(std::uint64_t index) const;

    const ShortMap& shortOpts() const { return store_->shortOpts; }
    const LongMap& longOpts() const { return store_->longOpts; }
    const TShortOpt* findShort(char letter) const;
    const TLongOpt* findLong(const std::string& name) const;

private:
    struct Store {
        std::string programName;
        std::vector<std::string> args;
        ShortMap shortOpts;
        LongMap longOpts;
    };

    void addWord(const char* word);
    bool parseLongWord(const std::string& word);
    bool parseShortWord(const std::string& word);

    std::shared_ptr<Store> store_;
};

class TOpts::TOptsError : public TError {
public:
    TOptsError(std::string message, TOpts opts)
        : TError(std::move(message)), opts_(std::move(opts)) {}
    const TOpts& opts() const { return opts_; }

private:
    TOpts opts_;
};

class TOpts::TOutOfRange : public TOpts::TOptsError {
public:
    TOutOfRange(TOpts opts, std::uint64_t index);
    std::uint64_t index() const { return index_; }

private:
    std::uint64_t index_;
};

}  // namespace talvor::opt
