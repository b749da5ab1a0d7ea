// How a program asks for its options. A lookup never raises by itself: a missing
// option, or a value that breaks the lookup's argument mode, is raised when the
// lookup's result is released, unless clear() was called first (which is how an
// option is made optional). check() reports a given option that no lookup found.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "errors/terror.h"
#include "opt/topts.h"

namespace talvor::opt {

// Argument modes of a long-option lookup; any other value behaves as OptArg.
enum TArgMode : int {
    NoArg = 0,   // found only with an empty value: a flag
    OptArg = 1,  // found with any value
    ReqArg = 2,  // found only with a non-empty value
};

using TStatusBits = std::uint64_t;
constexpr TStatusBits goodBit = 0;
constexpr TStatusBits noOptBit = 1;
constexpr TStatusBits unknOptBit = 2;
constexpr TStatusBits badOptBit = 4;

class TOptResult;

// A reference-counted handle: copies share one state, so an option found through
// any copy counts as used for all of them.
class TOParsing {
public:
    class TPError;
    class TNoSOpt;
    class TNoLOpt;
    class TBadLOpt;
    class TUnknSOpt;
    class TUnknLOpt;

    TOParsing(int argc, const char* const* argv);

    TOptResult longOpt(const std::string& name, int mode);
    TOptResult shortOpt(char letter);
    // Forgets the outcome of the latest lookup, so its release raises nothing.
    void clear();
    // Raises the latest lookup's outcome (unless cleared), then the first given
    // option that no lookup found since the previous check: letters before names.
    void check();

    const TOpts& opts() const;
    TStatusBits status() const;

private:
    friend class TOptResult;
    struct State;

    // Releases a checking reference: runs the due status check, which may raise.
    static void releaseChecking(std::shared_ptr<State> ref);

    std::shared_ptr<State> state_;
};

// The result of one lookup. It holds a checking reference to the option state;
// releasing it runs the due status check, so its destructor may throw.
class TOptResult {
public:
    TOptResult(TOptResult&& other) noexcept;
    TOptResult& operator=(TOptResult&&) = delete;
    TOptResult(const TOptResult&) = delete;
    TOptResult& operator=(const TOptResult&) = delete;
    ~TOptResult() noexcept(false);

    bool found() const { return found_; }
    explicit operator bool() const { return found_; }
    // The value of a found long option; empty otherwise.
    const std::string& value() const;
    const TLongOpt* longEntry() const { return longEntry_; }
    const TShortOpt* shortEntry() const { return shortEntry_; }

private:
    friend class TOParsing;
    TOptResult(std::shared_ptr<TOParsing::State> state, const TLongOpt* longEntry,
               const TShortOpt* shortEntry);

    std::shared_ptr<TOParsing::State> state_;
    const TLongOpt* longEntry_;
    const TShortOpt* shortEntry_;
    bool found_;
    int uncaughtAtCreation_;
};

class TOParsing::TPError : public TError {
public:
    using TError::TError;
};

class TOParsing::TNoSOpt : public TOParsing::TPError {
public:
    explicit TNoSOpt(char letter);
    char letter() const { return letter_; }

private:
    char letter_;
};

class TOParsing::TNoLOpt : public TOParsing::TPError {
public:
    explicit TNoLOpt(const std::string& name);
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

// The errors about a given option keep the store alive, so their entry stays valid.
class TOParsing::TBadLOpt : public TOParsing::TPError {
public:
    TBadLOpt(const TLongOpt& given, TOpts owner);
    const TLongOpt& given() const { return given_; }

private:
    TLongOpt given_;
    TOpts owner_;
};

class TOParsing::TUnknSOpt : public TOParsing::TPError {
public:
    TUnknSOpt(const TShortOpt& given, TOpts owner);
    const TShortOpt& given() const { return given_; }

private:
    TShortOpt given_;
    TOpts owner_;
};

class TOParsing::TUnknLOpt : public TOParsing::TPError {
public:
    TUnknLOpt(const TLongOpt& given, TOpts owner);
    const TLongOpt& given() const { return given_; }

private:
    TLongOpt given_;
    TOpts owner_;
};

}  // namespace talvor::opt
