// Where remote output goes as it arrives.
#pragma once

#include <cstddef>
#include <functional>

namespace fieldkeep {

// Receives a stream piece by piece.
using OutputSink = std::function<void(const char* data, std::size_t size)>;

}  // namespace fieldkeep
