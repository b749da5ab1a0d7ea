#include "remote/authentication.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "errors/uerror.h"
#include "remote/connection.h"
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

LIBSSH2_SESSION* session() {
    return sessionState().session;
}

unsigned loginLength() {
    return static_cast<unsigned>(connLogin.size());
}

// True when the server let the login in; false when it refused or the
// credentials could not be used. Running out of time ends the run.
bool accepted(int rc) {
    if (rc == LIBSSH2_ERROR_TIMEOUT) {
        throw connectionTimedOut();
    }
    return rc == 0;
}

bool logInWithKeyFile() {
    return accepted(untilDone([] {
        return libssh2_userauth_publickey_fromfile_ex(session(), connLogin.data(), loginLength(),
                                                      nullptr, connIdentity, connPassword);
    }));
}

bool logInWithAgentKey(LIBSSH2_AGENT* agent, libssh2_agent_publickey* key) {
    return accepted(
        untilDone([agent, key] { return libssh2_agent_userauth(agent, connLogin.c_str(), key); }));
}

// Offers the agent's keys one after another; false when none was accepted or
// no agent answered.
bool logInWithAgent() {
    const Agent agent(libssh2_agent_init(session()));
    if (!agent || libssh2_agent_connect(agent.get()) != 0 ||
        libssh2_agent_list_identities(agent.get()) != 0) {
        return false;
    }
    libssh2_agent_publickey* key = nullptr;
    while (libssh2_agent_get_identity(agent.get(), &key, key) == 0) {
        if (logInWithAgentKey(agent.get(), key)) {
            return true;
        }
    }
    return false;
}

bool logInWithKeys() {
    if (std::strcmp(connIdentity, kAgentIdentity) == 0) {
        return logInWithAgent();
    }
    return logInWithKeyFile();
}

bool logInWithPassword() {
    return accepted(untilDone([] {
        return libssh2_userauth_password_ex(
            session(), connLogin.data(), loginLength(), connPassword,
            static_cast<unsigned>(std::strlen(connPassword)), nullptr);
    }));
}

// Every prompt of the server (PAM asks "Password: ") is answered with the
// password. libssh2 frees the answers with its default deallocator, free().
void answerWithPassword(const char*, int, const char*, int, int promptCount,
                        const LIBSSH2_USERAUTH_KBDINT_PROMPT*,
                        LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void**) {
    for (int i = 0; i < promptCount; ++i) {
        responses[i].text = strdup(connPassword);
        responses[i].length =
            responses[i].text != nullptr ? static_cast<unsigned>(std::strlen(connPassword)) : 0;
    }
}

bool logInWithKeyboardInteractive() {
    return accepted(untilDone([] {
        return libssh2_userauth_keyboard_interactive_ex(session(), connLogin.data(), loginLength(),
                                                        answerWithPassword);
    }));
}

// The methods the server accepts for the login; null when it sent no list.
const char* authMethods() {
    const char* methods = handleWhenReady(
        [] { return libssh2_userauth_list(session(), connLogin.data(), loginLength()); });
    if (methods == nullptr && libssh2_session_last_errno(session()) == LIBSSH2_ERROR_EAGAIN) {
        throw connectionTimedOut();
    }
    return methods;
}

bool offers(const char* methods, const char* method) {
    return std::strstr(methods, method) != nullptr;
}

TUError noPasswordMethod() {
    return TUError{"Unable to connect to " + connAddress +
                   ". The server does not support password authentication method. You should "
                   "ask your game hosting account provider to enable password authentication "
                   "method."};
}

// The password was refused by the password method: the server may still take
// it through keyboard-interactive.
void logInWithPasswordAnswers() {
    const char* methods = authMethods();
    if (methods == nullptr || offers(methods, "password")) {
        throw TUError{"Authentication failed"};
    }
    if (offers(methods, "keyboard-interactive")) {
        if (logInWithKeyboardInteractive()) {
            return;
        }
        throw TUError{"Authentication failed"};
    }
    if (connIdentity != nullptr) {
        throw TUError{"Authentication failed"};
    }
    throw noPasswordMethod();
}

}  // namespace

void authenticate() {
    if (connIdentity != nullptr && logInWithKeys()) {
        return;
    }
    if (connPassword == nullptr) {
        throw TUError{"Authentication failed"};
    }
    if (!logInWithPassword()) {
        logInWithPasswordAnswers();
    }
}

}  // namespace fieldkeep::remote
