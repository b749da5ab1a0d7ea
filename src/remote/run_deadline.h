// The time limit of the whole run (BF1942_RUN_TIMEOUT): every wait on the server
// ends by it, whatever the server sends or withholds.
#pragma once

#include <chrono>
#include <optional>

namespace fieldkeep::remote {

class RunClock {
public:
    // No limit.
    RunClock() = default;
    // Starts the run's clock: the run may take seconds from now; 0 is no limit.
    explicit RunClock(int seconds);

    // Whether the run's time is up.
    bool timedOut() const;

    // The earlier of deadline and the end of the run's time.
    std::chrono::steady_clock::time_point within(
        std::chrono::steady_clock::time_point deadline) const;

    // A poll timeout in milliseconds (-1: none) shortened to end with the run's time.
    int pollTimeout(int milliseconds) const;

private:
    std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace fieldkeep::remote
