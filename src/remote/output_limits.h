// How much a host may send: bounds that keep a flooding server from taking the
// memory and disk of the machine we run on.
#pragma once

#include <cstddef>
#include <string>

#include "errors/uerror.h"
#include "remote/output_sink.h"

namespace fieldkeep {

// Each stream of the answer to one of our own remote lines.
constexpr std::size_t kOwnLineOutputLimit = std::size_t{4} * 1024 * 1024;
// Output held back for later (the errors of --exec while its output runs).
constexpr std::size_t kHeldBackLimit = std::size_t{256} * 1024 * 1024;

// The error that ends a run whose host sent more than a bound allows.
TUError tooMuchOutput();

// A sink that appends to text, and ends the run before text grows past limit.
OutputSink boundedAppend(std::string& text, std::size_t limit);

}  // namespace fieldkeep
