#include "errors/shown_text.h"

namespace fieldkeep {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7f;

bool isShownAsCode(unsigned char c) {
    return (c < kFirstPrintable && c != '\n' && c != '\t') || c == kDelete;
}

}  // namespace

std::string shownText(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isShownAsCode(byte)) {
            shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace fieldkeep
