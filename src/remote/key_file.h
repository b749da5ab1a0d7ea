// What a private key file holds, read without decrypting it.
#pragma once

namespace fieldkeep::remote {

// Whether the file at path holds an RSA key, in OpenSSH's format or in PEM
// ("BEGIN RSA PRIVATE KEY"). False when it cannot be read or is of another kind.
bool isRsaKeyFile(const char* path);

}  // namespace fieldkeep::remote
