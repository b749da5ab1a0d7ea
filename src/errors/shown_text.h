// Text from the host inside our own messages: shown so that it cannot steer the
// terminal or log that reads our output.
#pragma once

#include <string>
#include <string_view>

namespace fieldkeep {

// text with every control byte other than line feed and tab, DEL, and the C1
// controls written as \xHH (two upper-case hex digits) a byte: lone bytes 0x80 to
// 0x9F and their UTF-8 forms (0xC2 0x80 to 0xC2 0x9F). All other bytes, the rest
// of UTF-8 among them, are unchanged.
std::string shownText(std::string_view text);

// shownText with tabs and line feeds as \x09 and \x0A too: a value shown in a
// line or a tab-separated field of our own.
std::string shownValue(std::string_view text);

}  // namespace fieldkeep
