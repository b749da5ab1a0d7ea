#include "commands/account_random.h"

#include <sys/random.h>

#include <cerrno>
#include <limits>
#include <stdexcept>

namespace fieldkeep {

const char kPasswordAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
const char kSaltAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

namespace {

std::uint32_t randomWord() {
    std::uint32_t word = 0;
    for (;;) {
        const ssize_t n = getrandom(&word, sizeof word, 0);
        if (n == static_cast<ssize_t>(sizeof word)) {
            return word;
        }
        if (n < 0 && errno != EINTR) {
            // Without the system's generator no secret can be made.
            throw std::runtime_error("getrandom failed");
        }
    }
}

}  // namespace

// Rejection sampling: words from the incomplete last block of bound values are
// drawn again, so every result is equally likely.
std::uint32_t randomBelow(std::uint32_t bound) {
    const std::uint64_t range = std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1;
    const std::uint64_t limit = range - range % bound;
    for (;;) {
        const std::uint32_t word = randomWord();
        if (word < limit) {
            return word % bound;
        }
    }
}

std::string randomText(const std::string& alphabet, std::size_t length) {
    std::string text;
    text.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        text += alphabet[randomBelow(static_cast<std::uint32_t>(alphabet.size()))];
    }
    return text;
}

std::string makePassword() {
    return randomText(kPasswordAlphabet, kPasswordLength);
}

std::string makeSaltSetting() {
    return "$6$" + randomText(kSaltAlphabet, kSaltLength);
}

}  // namespace fieldkeep
