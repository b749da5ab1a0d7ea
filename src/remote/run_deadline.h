// The time limit of the whole run (BF1942_RUN_TIMEOUT): every wait on the server
// ends by it, whatever the server sends or withholds.
#pragma once

#include <chrono>

namespace fieldkeep::remote {

// Starts the run's clock: the run may take seconds from now; 0 is no limit.
void startRunClock(int seconds);

// Whether the run's time is up.
bool runTimedOut();

// The earlier of deadline and the end of the run's time.
std::chrono::steady_clock::time_point withinRun(std::chrono::steady_clock::time_point deadline);

// A poll timeout in milliseconds (-1: none) shortened to end with the run's time.
int pollTimeoutWithinRun(int milliseconds);

}  // namespace fieldkeep::remote
