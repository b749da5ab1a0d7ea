#include "remote/run_deadline.h"

#include <algorithm>

namespace fieldkeep::remote {

using Clock = std::chrono::steady_clock;

RunClock::RunClock(int seconds) {
    if (seconds > 0) {
        deadline_ = Clock::now() + std::chrono::seconds(seconds);
    }
}

bool RunClock::timedOut() const {
    return deadline_ && Clock::now() >= *deadline_;
}

Clock::time_point RunClock::within(Clock::time_point deadline) const {
    return deadline_ ? std::min(deadline, *deadline_) : deadline;
}

int RunClock::pollTimeout(int milliseconds) const {
    if (!deadline_) {
        return milliseconds;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now());
    const int leftMs = static_cast<int>(std::clamp<long long>(left.count(), 0, 1000000));
    return milliseconds < 0 ? leftMs : std::min(milliseconds, leftMs);
}

}  // namespace fieldkeep::remote
