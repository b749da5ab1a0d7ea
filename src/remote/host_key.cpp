#include "remote/host_key.h"

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

KnownHosts readKnownHosts(LIBSSH2_SESSION* session, const char* path) {
    KnownHosts hosts(libssh2_knownhost_init(session));
    if (!hosts || libssh2_knownhost_readfile(hosts.get(), path, LIBSSH2_KNOWNHOST_FILE_OPENSSH) < 0) {
        throw TUError{std::string("Cannot read known hosts file ") + path};
    }
    return hosts;
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
    const KnownHosts hosts = readKnownHosts(session, connKnownHosts);
    std::size_t keyLength = 0;
    int keyType = LIBSSH2_HOSTKEY_TYPE_UNKNOWN;
    const char* key = libssh2_session_hostkey(session, &keyLength, &keyType);
    const int typeMask = LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW |
                         knownHostKeyBits(keyType);
    if (key == nullptr ||
        // No port: libssh2 would also accept a plain HOST entry for another port.
        libssh2_knownhost_checkp(hosts.get(), knownHostName().c_str(), -1, key, keyLength,
                                 typeMask, nullptr) != LIBSSH2_KNOWNHOST_CHECK_MATCH) {
        throw TUError{"Host key verification failed"};
    }
}

}  // namespace fieldkeep::remote
