#include "remote/authentication.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "errors/uerror.h"
#include "remote/key_file.h"
#include "remote/server_banner.h"
#include "remote/session.h"
#include "remote/session_state.h"

namespace fieldkeep::remote {
namespace {

struct AgentDeleter {
    void operator()(LIBSSH2_AGENT* agent) const {
        libssh2_agent_disconnect(agent);
        libssh2_agent_free(agent);
    }
};
using Agent = std::unique_ptr<LIBSSH2_AGENT, AgentDeleter>;

unsigned loginLength(const Session& s) {
    return static_cast<unsigned>(s.login.size());
}

// libssh2 before 1.11 signs with RSA keys only as "ssh-rsa" (SHA-1), which
// OpenSSH 8.8 and later refuse by default.
constexpr bool kRsaSignsWithSha1Only = LIBSSH2_VERSION_NUM < 0x010b00;

TUError authenticationFailed(const SessionState& st) {
    if (st.rsaKeyRefused) {
        return TUError{
            "Authentication failed: the server refuses RSA keys signed with SHA-1; use "
            "an ed25519 or ECDSA key"};
    }
    return TUError{"Authentication failed"};
}

// Whether the server may refuse SHA-1 RSA signatures: OpenSSH takes them by
// default before 8.8; of other servers nothing is known.
bool refusesSha1ByDefault(SessionState& st) {
    const char* banner = libssh2_session_banner_get(st.session);
    const auto version =
        banner != nullptr ? versionAfter(banner, "SSH-2.0-OpenSSH_") : std::nullopt;
    constexpr std::pair<int, int> kFirstRefusing{8, 8};
    return !version || *version >= kFirstRefusing;
}

// True when the server let the login in; false when it refused or the
// credentials could not be used. Running out of time ends the run.
bool accepted(int rc) {
    if (rc == LIBSSH2_ERROR_TIMEOUT) {
        throw connectionTimedOut();
    }
    return rc == 0;
}

// Only the passphrase opens the key, and it is never offered as a password: a
// server that refuses the key learns nothing of it.
bool logInWithKeyFile(SessionState& st, const Session& s) {
    const int rc = untilDone(st, [&st, &s] {
        return libssh2_userauth_publickey_fromfile_ex(st.session, s.login.data(), loginLength(s),
                                                      nullptr, s.identity, s.keyPassphrase);
    });
    // The file was readable before connecting: libssh2 could not decrypt or parse it.
    st.keyUndecryptable = rc == LIBSSH2_ERROR_FILE;
    st.rsaKeyRefused = kRsaSignsWithSha1Only && rc != 0 && !st.keyUndecryptable &&
                       rc != LIBSSH2_ERROR_TIMEOUT && isRsaKeyFile(s.identity) &&
                       refusesSha1ByDefault(st);
    return accepted(rc);
}

bool isRsaBlob(const libssh2_agent_publickey* key) {
    return key->blob_len >= kRsaTypeField.size() &&
           kRsaTypeField.compare(0, std::string::npos, reinterpret_cast<const char*>(key->blob),
                                 kRsaTypeField.size()) == 0;
}

bool logInWithAgentKey(SessionState& st, const Session& s, LIBSSH2_AGENT* agent,
                       libssh2_agent_publickey* key) {
    const int rc = untilDone(
        st, [&s, agent, key] { return libssh2_agent_userauth(agent, s.login.c_str(), key); });
    st.rsaKeyRefused = st.rsaKeyRefused || (kRsaSignsWithSha1Only && rc != 0 && isRsaBlob(key) &&
                                            refusesSha1ByDefault(st));
    return accepted(rc);
}

// Offers the agent's keys one after another; false when none was accepted or
// no agent answered.
bool logInWithAgent(SessionState& st, const Session& s) {
    const Agent agent(libssh2_agent_init(st.session));
    if (!agent || libssh2_agent_connect(agent.get()) != 0 ||
        libssh2_agent_list_identities(agent.get()) != 0) {
        return false;
    }
    libssh2_agent_publickey* key = nullptr;
    while (libssh2_agent_get_identity(agent.get(), &key, key) == 0) {
        if (logInWithAgentKey(st, s, agent.get(), key)) {
            return true;
        }
    }
    return false;
}

bool logInWithKeys(SessionState& st, const Session& s) {
    if (std::strcmp(s.identity, kAgentIdentity) == 0) {
        return logInWithAgent(st, s);
    }
    return logInWithKeyFile(st, s);
}

bool logInWithPassword(SessionState& st, const Session& s) {
    return accepted(untilDone(st, [&st, &s] {
        return libssh2_userauth_password_ex(st.session, s.login.data(), loginLength(s), s.password,
                                            static_cast<unsigned>(std::strlen(s.password)),
                                            nullptr);
    }));
}

// Every prompt of the server (PAM asks "Password: ") is answered with the
// password of the Session the libssh2 session was made with. libssh2 frees the
// answers with its default deallocator, free().
void answerWithPassword(const char*, int, const char*, int, int promptCount,
                        const LIBSSH2_USERAUTH_KBDINT_PROMPT*,
                        LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void** abstract) {
    const char* password = static_cast<const Session*>(*abstract)->password;
    for (int i = 0; i < promptCount; ++i) {
        responses[i].text = strdup(password);
        responses[i].length =
            responses[i].text != nullptr ? static_cast<unsigned>(std::strlen(password)) : 0;
    }
}

bool logInWithKeyboardInteractive(SessionState& st, const Session& s) {
    return accepted(untilDone(st, [&st, &s] {
        return libssh2_userauth_keyboard_interactive_ex(st.session, s.login.data(), loginLength(s),
                                                        answerWithPassword);
    }));
}

// The methods the server accepts for the login; null when it sent no list.
const char* authMethods(SessionState& st, const Session& s) {
    const char* methods = handleWhenReady(st, [&st, &s] {
        return libssh2_userauth_list(st.session, s.login.data(), loginLength(s));
    });
    if (methods == nullptr && libssh2_session_last_errno(st.session) == LIBSSH2_ERROR_EAGAIN) {
        throw connectionTimedOut();
    }
    return methods;
}

bool offers(const char* methods, const char* method) {
    return std::strstr(methods, method) != nullptr;
}

TUError noPasswordMethod(const Session& s) {
    return TUError{"Unable to connect to " + s.address +
                   ". The server does not support password authentication method. You should "
                   "ask your game hosting account provider to enable password authentication "
                   "method."};
}

// The password was refused by the password method: the server may still take
// it through keyboard-interactive.
void logInWithPasswordAnswers(SessionState& st, const Session& s) {
    const char* methods = authMethods(st, s);
    if (methods == nullptr || offers(methods, "password")) {
        throw authenticationFailed(st);
    }
    if (offers(methods, "keyboard-interactive")) {
        if (logInWithKeyboardInteractive(st, s)) {
            return;
        }
        throw authenticationFailed(st);
    }
    if (s.identity != nullptr) {
        throw authenticationFailed(st);
    }
    throw noPasswordMethod(s);
}

}  // namespace

void authenticate(SessionState& st, const Session& s) {
    if (s.identity != nullptr && logInWithKeys(st, s)) {
        return;
    }
    if (s.password == nullptr) {
        if (st.keyUndecryptable) {
            throw TUError{std::string("Cannot decrypt identity file ") + s.identity};
        }
        throw authenticationFailed(st);
    }
    if (!logInWithPassword(st, s)) {
        logInWithPasswordAnswers(st, s);
    }
}

}  // namespace fieldkeep::remote
