#include "remote/host_key.h"

#include <fstream>
#include <memory>
#include <string>

#include "errors/uerror.h"
#include "remote/connection.h"
#include "remote/session_state.h"

namespace fieldkeep::remote {
namespace {

struct KnownHostsDeleter {
    void operator()(LIBSSH2_KNOWNHOSTS* hosts) const { libssh2_knownhost_free(hosts); }
};
using KnownHosts = std::unique_ptr<LIBSSH2_KNOWNHOSTS, KnownHostsDeleter>;

int knownHostKeyBits(int hostKeyType) {
    switch (hostKeyType) {
        case LIBSSH2_HOSTKEY_TYPE_RSA:
            return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
        case LIBSSH2_HOSTKEY_TYPE_DSS:
            return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_256:
            return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_384:
            return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_521:
            return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
        case LIBSSH2_HOSTKEY_TYPE_ED25519:
            return LIBSSH2_KNOWNHOST_KEY_ED25519;
        default:
            return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
    }
}

TUError unreadable(const char* path) {
    return TUError{std::string("Cannot read known hosts file ") + path};
}

// The file's entries: those that vouch for a key, and those that revoke one.
struct PinnedKeys {
    KnownHosts accepted;
    KnownHosts revoked;
};

// libssh2 reads no markers, so they are taken off here: a "@revoked" line's
// entry goes to the revoked list, a line with any other marker (host
// certificates are not used) is left out.
PinnedKeys readKnownHosts(LIBSSH2_SESSION* session, const char* path) {
    std::ifstream file(path, std::ios::binary);
    PinnedKeys keys{KnownHosts(libssh2_knownhost_init(session)),
                    KnownHosts(libssh2_knownhost_init(session))};
    if (!file || !keys.accepted || !keys.revoked) {
        throw unreadable(path);
    }
    for (std::string line; std::getline(file, line);) {
        LIBSSH2_KNOWNHOSTS* into = keys.accepted.get();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos && line[start] == '@') {
            const std::size_t end = line.find_first_of(" \t", start);
            if (line.compare(start, end - start, "@revoked") != 0) {
                continue;
            }
            into = keys.revoked.get();
            line.erase(0, end);
        }
        if (libssh2_knownhost_readline(into, line.c_str(), line.size(),
                                       LIBSSH2_KNOWNHOST_FILE_OPENSSH) != 0) {
            throw unreadable(path);
        }
    }
    return keys;
}

// The name of the host's entries, as OpenSSH writes them: HOST for port 22,
// [HOST]:PORT for any other port.
std::string knownHostName() {
    if (connPort == kSshPort) {
        return connHost;
    }
    return "[" + connHost + "]:" + std::to_string(connPort);
}

}  // namespace

void verifyHostKey() {
    if (connKnownHosts == nullptr) {
        return;
    }
    LIBSSH2_SESSION* session = sessionState().session;
    const PinnedKeys keys = readKnownHosts(session, connKnownHosts);
    std::size_t keyLength = 0;
    int keyType = LIBSSH2_HOSTKEY_TYPE_UNKNOWN;
    const char* key = libssh2_session_hostkey(session, &keyLength, &keyType);
    const int typeMask =
        LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | knownHostKeyBits(keyType);
    const std::string name = knownHostName();
    const auto listed = [&](const KnownHosts& hosts) {
        // No port: libssh2 would also accept a plain HOST entry for another port.
        return libssh2_knownhost_checkp(hosts.get(), name.c_str(), -1, key, keyLength, typeMask,
                                        nullptr) == LIBSSH2_KNOWNHOST_CHECK_MATCH;
    };
    if (key == nullptr || listed(keys.revoked) || !listed(keys.accepted)) {
        throw TUError{"Host key verification failed"};
    }
}

}  // namespace fieldkeep::remote
