// Unpredictable passwords, salts and user names for new accounts, drawn from
// the operating system's generator.
#pragma once

#include <cstdint>
#include <string>

namespace fieldkeep {

extern const char kPasswordAlphabet[];  // the 62 letters and digits
extern const char kSaltAlphabet[];      // the 64 characters of crypt salts
constexpr std::size_t kPasswordLength = 10;
constexpr std::size_t kSaltLength = 16;

// A uniformly drawn number from 0 to bound - 1 (bound > 0).
std::uint32_t randomBelow(std::uint32_t bound);

// length characters drawn uniformly from alphabet.
std::string randomText(const std::string& alphabet, std::size_t length);

std::string makePassword();
// "$6$" and 16 salt characters: the setting of SHA-512 crypt.
std::string makeSaltSetting();

}  // namespace fieldkeep
