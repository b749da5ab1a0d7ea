// Builds an argument vector for the option parser from a list of words.
#pragma once

#include <string>
#include <vector>

#include "errors/uerror.h"
#include "opt/toparsing.h"

namespace fieldkeep::testing {

class Argv {
public:
    Argv(std::initializer_list<std::string> words)
        : Argv(std::vector<std::string>(words.begin(), words.end())) {}
    explicit Argv(const std::vector<std::string>& words) : words_{"fieldkeep"} {
        words_.insert(words_.end(), words.begin(), words.end());
        for (const std::string& w : words_) {
            pointers_.push_back(w.c_str());
        }
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words_.size()); }
    const char* const* argv() const { return pointers_.data(); }
    talvor::opt::TOParsing parse() const { return talvor::opt::TOParsing(argc(), argv()); }
    talvor::opt::TOpts store() const { return talvor::opt::TOpts(argc(), argv()); }

private:
    std::vector<std::string> words_;
    std::vector<const char*> pointers_;
};

// The message of the option error or TUError that running f raises; "" when none.
template <typename F>
std::string raisedMessage(F&& f) {
    try {
        f();
    } catch (const talvor::TError& e) {
        return e.what();
    } catch (const fieldkeep::TUError& e) {
        return e.message;
    }
    return "";
}

}  // namespace fieldkeep::testing
