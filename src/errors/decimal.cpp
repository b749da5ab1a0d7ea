#include "errors/decimal.h"

namespace fieldkeep {

std::optional<long long> decimalNumber(std::string_view text, long long most, std::size_t longest,
                                       Beyond beyond) {
    if (text.empty() || text.size() > longest) {
        return std::nullopt;
    }
    long long value = 0;
    bool above = false;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        above = above || digit > most || value > (most - digit) / 10;
        value = above ? most : value * 10 + digit;
    }
    if (above && beyond == Beyond::refused) {
        return std::nullopt;
    }
    return value;
}

}  // namespace fieldkeep
