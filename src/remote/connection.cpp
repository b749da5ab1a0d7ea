#include "remote/connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "errors/uerror.h"
#include "remote/authentication.h"
#include "remote/channel_opening.h"
#include "remote/host_key.h"
#include "remote/session_state.h"

namespace fieldkeep {

namespace {

// How long the goodbye at the end of a run may take before the link is cut.
constexpr std::chrono::seconds kTeardownTime{2};
constexpr int kDisconnectByApplication = 11;
// Pauses between set-up attempts on a busy server: from the first to the
// longest, doubling; each is drawn at random from its upper half, so that
// clients turned away together come back apart.
constexpr std::chrono::milliseconds kFirstPause{50};
constexpr std::chrono::milliseconds kLongestPause{2000};

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

AddressList resolveAddresses(const Session& s) {
    addrinfo hints{};  // a zero family takes IPv6 and IPv4 results alike
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(s.host.c_str(), std::to_string(s.port).c_str(), &hints, &found) != 0 ||
        found == nullptr) {
        throw TUError{"Failed to get network host entry"};
    }
    return AddressList(found);
}

// Connects without blocking, so that a host that never answers the SYN ends
// the run at the set-up deadline. False when the address refused.
bool connectSocket(remote::SessionState& st, const addrinfo& address) {
    st.socket = socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (st.socket < 0) {
        return false;
    }
    if (connect(st.socket, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            return false;
        }
        pollfd fd{st.socket, POLLOUT, 0};
        int ready = 0;
        do {
            ready = poll(&fd, 1, remote::millisecondsUntil(st.setupDeadline));
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            throw remote::connectionTimedOut();
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(st.socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            return false;
        }
    }
    // Each request waits for its reply; Nagle's delay would only add round trips.
    int on = 1;
    setsockopt(st.socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

void closeSocket(remote::SessionState& st) {
    if (st.socket != -1) {
        close(st.socket);
        st.socket = -1;
    }
}

// The addresses are tried in the resolver's order; the first that accepts wins.
void openSocket(remote::SessionState& st, const AddressList& addresses) {
    for (const addrinfo* address = addresses.get(); address != nullptr;
         address = address->ai_next) {
        if (connectSocket(st, *address)) {
            return;
        }
        closeSocket(st);
    }
    throw TUError{"Failed to connect"};
}

// The server closed or reset the connection before the SSH handshake was
// through: it sent nothing, an SSH banner, or OpenSSH's notice for clients
// beyond its MaxStartups. A server that sent anything else is no SSH server.
bool turnedAway(LIBSSH2_SESSION* session, int rc) {
    if (rc != LIBSSH2_ERROR_SOCKET_DISCONNECT && rc != LIBSSH2_ERROR_SOCKET_RECV &&
        rc != LIBSSH2_ERROR_SOCKET_SEND) {
        return false;
    }
    const char* banner = libssh2_session_banner_get(session);
    return banner == nullptr || std::strncmp(banner, "SSH-", 4) == 0 ||
           std::strcmp(banner, "Exceeded MaxStartups") == 0;
}

// True when the handshake is through; false when the server turned us away.
// libssh2 hands s back to the keyboard-interactive prompts, which only read it.
bool startSession(remote::SessionState& st, const Session& s) {
    st.session = libssh2_session_init_ex(nullptr, nullptr, nullptr, const_cast<Session*>(&s));
    if (st.session == nullptr) {
        throw TUError{"Failure establishing SSH session"};
    }
    // Every call is non-blocking; the waits between them are ours, so that each
    // one ends at the deadline or on a silent server.
    libssh2_session_set_blocking(st.session, 0);
    const int rc =
        remote::untilDone(st, [&st] { return libssh2_session_handshake(st.session, st.socket); });
    if (rc == LIBSSH2_ERROR_TIMEOUT) {
        throw remote::connectionTimedOut();
    }
    if (rc != 0 && !turnedAway(st.session, rc)) {
        throw TUError{"Failure establishing SSH session"};
    }
    return rc == 0;
}

// Drops a connection the server has already closed: nothing to say goodbye to.
void discardAttempt(remote::SessionState& st) {
    libssh2_session_free(st.session);
    st.session = nullptr;
    closeSocket(st);
}

std::chrono::milliseconds randomPause(std::chrono::milliseconds longest) {
    std::uint32_t random = 0;
    if (getrandom(&random, sizeof random, 0) != sizeof random) {
        random = 0;
    }
    const auto half = longest.count() / 2;
    return std::chrono::milliseconds(half + static_cast<long>(random % (half + 1)));
}

// Waits out one pause before the next attempt; false when the set-up time
// would run out first.
bool pauseBeforeRetry(const remote::SessionState& st, std::chrono::milliseconds& longest) {
    const std::chrono::milliseconds pause = randomPause(longest);
    longest = std::min(longest * 2, kLongestPause);
    if (std::chrono::steady_clock::now() + pause >= st.setupDeadline) {
        return false;
    }
    std::this_thread::sleep_for(pause);
    return true;
}

// A server that turns a connection away before authentication has begun ran
// nothing for it, so a busy server is tried again on a new connection until
// the set-up time runs out. Once a password or key has been offered, never.
void connectAndHandshake(remote::SessionState& st, const Session& s, const AddressList& addresses) {
    std::chrono::milliseconds longest = kFirstPause;
    for (;;) {
        openSocket(st, addresses);
        if (startSession(st, s)) {
            return;
        }
        discardAttempt(st);
        if (!pauseBeforeRetry(st, longest)) {
            throw TUError{"Failure establishing SSH session"};
        }
    }
}

void startKeepalives(remote::SessionState& st, int aliveInterval) {
    st.loggedIn = true;
    st.silentIntervals = 0;
    st.aliveInterval = aliveInterval;
    if (aliveInterval > 0) {
        libssh2_keepalive_config(st.session, 1, static_cast<unsigned>(aliveInterval));
    }
}

void sayGoodbye(remote::SessionState& st) {
    st.loggedIn = false;
    st.setupDeadline = std::chrono::steady_clock::now() + kTeardownTime;
    remote::freeCurrentChannel(st);
    const int rc = remote::untilDone(st, [&st] {
        return libssh2_session_disconnect_ex(st.session, kDisconnectByApplication,
                                             "Normal Shutdown", "");
    });
    if (rc != 0) {
        remote::abandonLink(st);
    }
}

}  // namespace

void connectRemote(remote::SessionState& st, const Session& s) {
    st.runClock = s.runClock;
    st.setupDeadline = st.runClock.within(std::chrono::steady_clock::now() +
                                          std::chrono::seconds(s.connectTimeout));
    connectAndHandshake(st, s, resolveAddresses(s));
    remote::verifyHostKey(st, s);
    remote::authenticate(st, s);
    startKeepalives(st, s.aliveInterval);
}

void disconnectRemote(remote::SessionState& st) noexcept {
    if (st.session != nullptr) {
        if (st.linkLost) {
            remote::freeCurrentChannel(st);
        } else {
            sayGoodbye(st);
        }
        if (libssh2_session_free(st.session) == LIBSSH2_ERROR_EAGAIN) {
            remote::abandonLink(st);
            libssh2_session_free(st.session);
        }
        st.session = nullptr;
    }
    if (st.socket != -1) {
        close(st.socket);
        st.socket = -1;
    }
}

}  // namespace fieldkeep
