// The state of the run's one connection, owned by its RemoteRunner and handed
// to every step of the remote layer. Only src/remote sees libssh2.
#pragma once

#include <libssh2.h>

#include <chrono>

#include "errors/uerror.h"
#include "remote/run_deadline.h"

namespace fieldkeep::remote {

// Keepalives sent in a row without anything heard back before the link counts as lost.
constexpr int kAliveCountMax = 3;

struct SessionState {
    int socket = -1;
    LIBSSH2_SESSION* session = nullptr;
    LIBSSH2_CHANNEL* channel = nullptr;  // the channel of the command running now
    // Until login, every wait ends at the set-up deadline; after it, silence is
    // met with keepalives.
    bool loggedIn = false;
    std::chrono::steady_clock::time_point setupDeadline;
    int aliveInterval = 0;    // seconds of silence after login before a keepalive; 0: none
    int silentIntervals = 0;  // keepalive intervals in a row with nothing received
    bool linkLost = false;    // a wait gave up on the server: no goodbye is owed
    RunClock runClock;        // the run's, from its session
    // Channel openings: whether the server refused one that followed a close,
    // and when our last close went out.
    bool countsClosedSessions = false;
    std::chrono::steady_clock::time_point closedAt;
    // Why the keys got nowhere, for the message when no password gets in either.
    bool keyUndecryptable = false;  // the key file could not be decrypted (or used)
    bool rsaKeyRefused = false;     // the server refused an RSA key signed with SHA-1
};

// Milliseconds left until deadline, 0 once it has passed.
int millisecondsUntil(std::chrono::steady_clock::time_point deadline);

// The error of a set-up that ran past its deadline.
TUError connectionTimedOut();

// Gives up on the server: shuts the socket down so that libssh2 stops waiting
// on it, and marks the link as lost.
void abandonLink(SessionState& st);

// Frees a channel left in the slot by an earlier operation.
void freeCurrentChannel(SessionState& st);

// Blocks until the socket can move data in the direction libssh2 is waiting
// for. Returns false when waiting must stop: the set-up time ran out, or the
// server stayed silent through every keepalive.
bool waitForSocket(SessionState& st);

// Calls step, a non-blocking libssh2 call, until it no longer asks to be called
// again, waiting on the socket in between. Returns its result, or
// LIBSSH2_ERROR_TIMEOUT when the wait gave up.
template <typename Step>
auto untilDone(SessionState& st, Step step) -> decltype(step()) {
    for (;;) {
        const auto rc = step();
        if (rc != LIBSSH2_ERROR_EAGAIN) {
            return rc;
        }
        if (!waitForSocket(st)) {
            return LIBSSH2_ERROR_TIMEOUT;
        }
    }
}

// The same for calls that return a handle: null means "again" while the
// session's last error is LIBSSH2_ERROR_EAGAIN.
template <typename Step>
auto handleWhenReady(SessionState& st, Step step) -> decltype(step()) {
    for (;;) {
        auto handle = step();
        if (handle != nullptr || libssh2_session_last_errno(st.session) != LIBSSH2_ERROR_EAGAIN ||
            !waitForSocket(st)) {
            return handle;
        }
    }
}

}  // namespace fieldkeep::remote
