#include "remote/host_key.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "errors/uerror.h"
#include "remote/session.h"
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

// Whether name matches an OpenSSH host pattern: '*' stands for any run of
// characters, '?' for any one; case is ignored.
bool matchesPattern(const std::string& name, const std::string& pattern) {
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starAt = std::string::npos;  // the last '*' seen, and where its run ends
    std::size_t runEnd = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            runEnd = n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            n = ++runEnd;
        } else {
            return false;
        }
    }
    return pattern.find_first_not_of('*', p) == std::string::npos;
}

// Whether a host field (patterns separated by commas, "!" before one that
// excludes) names the host: some pattern matches and no excluding one does.
bool namesHost(const std::string& field, const std::string& name) {
    bool named = false;
    std::size_t start = 0;
    while (start <= field.size()) {
        const std::size_t end = std::min(field.find(',', start), field.size());
        const bool excludes = field.compare(start, 1, "!") == 0;
        const std::size_t from = start + (excludes ? 1 : 0);
        if (from <= end && matchesPattern(name, field.substr(from, end - from))) {
            if (excludes) {
                return false;
            }
            named = true;
        }
        start = end + 1;
    }
    return named;
}

// A "@revoked" line's host field as libssh2 should read it, which compares
// names literally: name when the field's patterns name the host, nothing when
// they do not. Hashed names are left to libssh2.
std::optional<std::string> revokedEntry(const std::string& entry, const std::string& name) {
    const std::size_t start = entry.find_first_not_of(" \t");
    if (start == std::string::npos || entry[start] == '|') {
        return entry;
    }
    const std::size_t end = std::min(entry.find_first_of(" \t", start), entry.size());
    if (!namesHost(entry.substr(start, end - start), name)) {
        return std::nullopt;
    }
    return name + entry.substr(end);
}

// libssh2 reads no markers, so they are taken off here: a "@revoked" line's
// entry goes to the revoked list when it is for the host, a line with any
// other marker (host certificates are not used) is left out.
PinnedKeys readKnownHosts(LIBSSH2_SESSION* session, const char* path, const std::string& name) {
    std::ifstream file(path, std::ios::binary);
    PinnedKeys keys{KnownHosts(libssh2_knownhost_init(session)),
                    KnownHosts(libssh2_knownhost_init(session))};
    if (!file || !keys.accepted || !keys.revoked) {
        throw unreadable(path);
    }
    for (std::string line; std::getline(file, line);) {
        // A line end written as CR LF ends the line as LF does: OpenSSH's key
        // reader passes over the CR, libssh2 would keep it as part of the key.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        LIBSSH2_KNOWNHOSTS* into = keys.accepted.get();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos && line[start] == '@') {
            const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
            const bool revoked = line.compare(start, end - start, "@revoked") == 0;
            const std::optional<std::string> entry =
                revoked ? revokedEntry(line.substr(end), name) : std::nullopt;
            if (!entry) {
                continue;
            }
            into = keys.revoked.get();
            line = *entry;
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
std::string knownHostName(const Session& s) {
    if (s.port == kSshPort) {
        return s.host;
    }
    return "[" + s.host + "]:" + std::to_string(s.port);
}

}  // namespace

void verifyHostKey(SessionState& st, const Session& s) {
    if (s.knownHosts == nullptr) {
        return;
    }
    LIBSSH2_SESSION* session = st.session;
    const std::string name = knownHostName(s);
    const PinnedKeys keys = readKnownHosts(session, s.knownHosts, name);
    std::size_t keyLength = 0;
    int keyType = LIBSSH2_HOSTKEY_TYPE_UNKNOWN;
    const char* key = libssh2_session_hostkey(session, &keyLength, &keyType);
    const int typeMask =
        LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | knownHostKeyBits(keyType);
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
