// What a private key file holds, read without decrypting it.
#pragma once

#include <string_view>

namespace fieldkeep::remote {

// An RSA public key's type, the length-prefixed string that starts its blob.
inline constexpr std::string_view kRsaTypeField("\0\0\0\7ssh-rsa", 11);

// Whether the file at path holds an RSA key, in OpenSSH's format or in PEM
// ("BEGIN RSA PRIVATE KEY"). False when it cannot be read or is of another kind.
bool isRsaKeyFile(const char* path);

}  // namespace fieldkeep::remote
