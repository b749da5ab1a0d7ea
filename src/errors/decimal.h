// Whole numbers written in decimal, as options, settings, the environment and
// the host's own lines give them.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace fieldkeep {

// What a value above the most comes to: nothing, or the most.
enum class Beyond { refused, held };

// The value of text when it is one to longest decimal digits (leading zeros
// count) and at most most (not negative); nothing otherwise. No sign, blank or
// other character is taken. Digits of any count are read without overflow: a
// value above most is refused, or held at most.
std::optional<long long> decimalNumber(std::string_view text, long long most,
                                       std::size_t longest = std::string_view::npos,
                                       Beyond beyond = Beyond::refused);

}  // namespace fieldkeep
