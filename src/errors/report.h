// How a failure becomes the run's last output line and its exit status.
#pragma once

#include <exception>

namespace fieldkeep {

// Exit status of a run that ended in a failure nobody anticipated (seen as 255).
constexpr int kUndefinedErrorStatus = -1;

// Prints the line for the failure, on a line of its own after whatever was
// printed before, and returns the exit status: the message of a
// TUError or a talvor::TError (control bytes shown as by shownText) with status
// 1, "Undefined error" with -1 otherwise.
int reportFailure(std::exception_ptr failure) noexcept;

}  // namespace fieldkeep
