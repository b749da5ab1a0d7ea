#include "opt/toparsing.h"

#include <exception>

namespace talvor::opt {
namespace {

const char kRequiresShort[] = "Requires short option";
const char kRequiresLong[] = "Requires long option";
const char kUnknown[] = "Unknown option";
const char kIncorrectLong[] = "Incorrect long option";

std::string shortMessage(const char* base, char letter) {
    return std::string(base) + " '-" + letter + "'";
}

std::string longMessage(const char* base, const std::string& name) {
    return std::string(base) + " '--" + name + "'";
}

bool modeAccepts(int mode, const std::string& value) {
    switch (mode) {
        case NoArg:
            return value.empty();
        case ReqArg:
            return !value.empty();
        default:
            return true;
    }
}

}  // namespace

struct TOParsing::State {
    explicit State(TOpts parsed) : opts(std::move(parsed)) {}

    TOpts opts;
    TStatusBits status = goodBit;
    bool pending = false;
    TStatusBits exceptMask = noOptBit | unknOptBit | badOptBit;
    int errKind = 0;  // kind of the last missing option: 0 short, 1 long
    char errLetter = 0;
    std::string errName;
    const TLongOpt* errEntry = nullptr;
    std::set<char> usedShort;
    std::set<std::string> usedLong;
};

TOParsing::TOParsing(int argc, const char* const* argv)
    : state_(std::make_shared<State>(TOpts(argc, argv))) {}

const TOpts& TOParsing::opts() const {
    return state_->opts;
}
TStatusBits TOParsing::status() const {
    return state_->status;
}

TOptResult TOParsing::longOpt(const std::string& name, int mode) {
    State& s = *state_;
    s.status = goodBit;
    const TLongOpt* entry = s.opts.findLong(name);
    if (entry == nullptr) {
        s.errKind = 1;
        s.errName = name;
        s.status |= noOptBit;
    } else if (!modeAccepts(mode, entry->value)) {
        s.status |= badOptBit;
        s.errEntry = entry;
        entry = nullptr;
    } else {
        s.usedLong.insert(name);
    }
    s.pending = true;
    return TOptResult(state_, entry, nullptr);
}

TOptResult TOParsing::shortOpt(char letter) {
    State& s = *state_;
    s.status = goodBit;
    const TShortOpt* entry = s.opts.findShort(letter);
    if (entry == nullptr) {
        s.errKind = 0;
        s.errLetter = letter;
        s.status |= noOptBit;
    } else {
        s.usedShort.insert(letter);
    }
    s.pending = true;
    return TOptResult(state_, nullptr, entry);
}

void TOParsing::clear() {
    state_->status = goodBit;
}

void TOParsing::releaseChecking(std::shared_ptr<State> ref) {
    State& s = *ref;
    if (!s.pending) {
        return;
    }
    // Cleared before raising, so results released while the error unwinds stay quiet.
    s.pending = false;
    if (s.status == goodBit) {
        return;
    }
    if ((s.status & noOptBit) && (s.exceptMask & noOptBit)) {
        if (s.errKind == 0) {
            throw TNoSOpt(s.errLetter);
        }
        throw TNoLOpt(s.errName);
    }
    if ((s.status & badOptBit) && (s.exceptMask & badOptBit)) {
        throw TBadLOpt(*s.errEntry, s.opts);
    }
}

void TOParsing::check() {
    State& s = *state_;
    s.pending = true;
    releaseChecking(state_);
    const bool reportUnknown = (s.exceptMask & unknOptBit) != 0;
    if (reportUnknown && s.usedShort.size() != s.opts.shortOpts().size()) {
        for (const auto& [letter, entry] : s.opts.shortOpts()) {
            if (s.usedShort.count(letter) == 0) {
                throw TUnknSOpt(entry, s.opts);
            }
        }
    } else if (reportUnknown && s.usedLong.size() != s.opts.longOpts().size()) {
        for (const auto& [name, entry] : s.opts.longOpts()) {
            if (s.usedLong.count(name) == 0) {
                throw TUnknLOpt(entry, s.opts);
            }
        }
    }
    s.usedShort.clear();
    s.usedLong.clear();
    s.status = goodBit;
}

TOptResult::TOptResult(std::shared_ptr<TOParsing::State> state, const TLongOpt* longEntry,
                       const TShortOpt* shortEntry)
    : state_(std::move(state)),
      longEntry_(longEntry),
      shortEntry_(shortEntry),
      found_(longEntry != nullptr || shortEntry != nullptr),
      uncaughtAtCreation_(std::uncaught_exceptions()) {}

TOptResult::TOptResult(TOptResult&& other) noexcept
    : state_(std::move(other.state_)),
      longEntry_(other.longEntry_),
      shortEntry_(other.shortEntry_),
      found_(other.found_),
      uncaughtAtCreation_(other.uncaughtAtCreation_) {}

TOptResult::~TOptResult() noexcept(false) {
    if (!state_) {
        return;
    }
    // While another error unwinds, raising here would end the process: that error
    // is the one the run reports.
    if (std::uncaught_exceptions() > uncaughtAtCreation_) {
        return;
    }
    TOParsing::releaseChecking(std::move(state_));
}

const std::string& TOptResult::value() const {
    static const std::string empty;
    return longEntry_ != nullptr ? longEntry_->value : empty;
}

TOParsing::TNoSOpt::TNoSOpt(char letter)
    : TPError(shortMessage(kRequiresShort, letter)), letter_(letter) {}

TOParsing::TNoLOpt::TNoLOpt(const std::string& name)
    : TPError(longMessage(kRequiresLong, name)), name_(name) {}

TOParsing::TBadLOpt::TBadLOpt(const TLongOpt& given, TOpts owner)
    : TPError(longMessage(kIncorrectLong, given.name)), given_(given), owner_(std::move(owner)) {}

TOParsing::TUnknSOpt::TUnknSOpt(const TShortOpt& given, TOpts owner)
    : TPError(shortMessage(kUnknown, given.letter)), given_(given), owner_(std::move(owner)) {}

TOParsing::TUnknLOpt::TUnknLOpt(const TLongOpt& given, TOpts owner)
    : TPError(longMessage(kUnknown, given.name)), given_(given), owner_(std::move(owner)) {}

}  // namespace talvor::opt
