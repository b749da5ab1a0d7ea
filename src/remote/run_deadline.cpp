#include "remote/run_deadline.h"

#include <algorithm>
#include <optional>

namespace fieldkeep::remote {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<Clock::time_point> runDeadline;

}  // namespace

void startRunClock(int seconds) {
    runDeadline.reset();
    if (seconds > 0) {
        runDeadline = Clock::now() + std::chrono::seconds(seconds);
    }
}

bool runTimedOut() {
    return runDeadline && Clock::now() >= *runDeadline;
}

Clock::time_point withinRun(Clock::time_point deadline) {
    return runDeadline ? std::min(deadline, *runDeadline) : deadline;
}

int pollTimeoutWithinRun(int milliseconds) {
    if (!runDeadline) {
        return milliseconds;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*runDeadline - Clock::now());
    const int leftMs = static_cast<int>(std::clamp<long long>(left.count(), 0, 1000000));
    return milliseconds < 0 ? leftMs : std::min(milliseconds, leftMs);
}

}  // namespace fieldkeep::remote
