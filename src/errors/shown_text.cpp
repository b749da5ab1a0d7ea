#include "errors/shown_text.h"

namespace fieldkeep {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7f;
constexpr unsigned char kLastC1 = 0x9f;
// C1 control characters in UTF-8: 0xC2 and a second byte up to kLastC1.
constexpr unsigned char kC1Lead = 0xc2;

// Control bytes of any terminal: C0 but line feed and tab, DEL, and lone C1 bytes
// (a terminal that does not read UTF-8 obeys 0x9B as CSI).
bool isShownAsCode(unsigned char c) {
    return (c < kFirstPrintable && c != '\n' && c != '\t') || (c >= kDelete && c <= kLastC1);
}

// The length of the well-formed UTF-8 character of two to four bytes that text starts
// with (no overlong forms, surrogates or code points past U+10FFFF); 0 when none.
std::size_t multiByteLength(std::string_view text) {
    const auto at = [&text](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    };
    const unsigned char lead = at(0);
    const std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
    // The second byte's range narrows after some leads; every other one is 0x80 to 0xBF.
    const unsigned char low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
    if (lead < kC1Lead || lead > 0xf4 || at(1) < low || at(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (at(i) < 0x80 || at(i) > 0xbf) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string shownText(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = multiByteLength(text.substr(i));
        const bool c1 = length == 2 && static_cast<unsigned char>(text[i]) == kC1Lead &&
                        static_cast<unsigned char>(text[i + 1]) <= kLastC1;
        if (length > 0 && !c1) {
            shown.append(text, i, length);
            i += length;
            continue;
        }
        // A C1 character's two bytes, or one byte outside any character.
        for (const std::size_t end = i + (c1 ? 2 : 1); i < end; ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (c1 || isShownAsCode(byte)) {
                shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
            } else {
                shown += text[i];
            }
        }
    }
    return shown;
}

std::string shownValue(std::string_view text) {
    std::string shown;
    for (const char c : shownText(text)) {
        shown += c == '\t' ? "\\x09" : c == '\n' ? "\\x0A" : std::string(1, c);
    }
    return shown;
}

}  // namespace fieldkeep
