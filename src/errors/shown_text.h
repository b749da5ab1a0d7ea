// Text from the host inside our own messages: shown so that it cannot steer the
// terminal or log that reads our output.
#pragma once

#include <string>
#include <string_view>

namespace fieldkeep {

// text with every control byte other than line feed and tab, and DEL, written
// as \xHH (two upper-case hex digits); all other bytes unchanged.
std::string shownText(std::string_view text);

}  // namespace fieldkeep
