#include "remote/session_state.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <limits>

namespace fieldkeep::remote {
namespace {

// A wait with no direction recorded naps this long instead of spinning.
constexpr int kNapMs = 10;

bool socketWritable(int socket) {
    pollfd fd{socket, POLLOUT, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & POLLOUT) != 0;
}

// A keepalive goes out only when it cannot be left half-sent: libssh2 keeps one
// partly sent packet at a time, and a half-sent keepalive would block every
// other packet.
void sendKeepalive(SessionState& st, int directions) {
    if ((directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) == 0 && socketWritable(st.socket)) {
        int secondsToNext = 0;
        libssh2_keepalive_send(st.session, &secondsToNext);
    }
}

// The keepalive interval as a poll timeout; intervals past poll's range (about
// 24 days) wait that long.
int aliveIntervalMs(const SessionState& st) {
    constexpr int kMostSeconds = std::numeric_limits<int>::max() / 1000;
    return std::min(st.aliveInterval, kMostSeconds) * 1000;
}

// One keepalive interval: true when the server said something (or took what
// we sent), or when it may still answer a keepalive.
bool waitOneInterval(SessionState& st, pollfd& fd, int directions) {
    const int ready = poll(&fd, 1, st.runClock.pollTimeout(aliveIntervalMs(st)));
    if (ready != 0) {
        if (ready > 0) {
            st.silentIntervals = 0;
        }
        return true;
    }
    if (++st.silentIntervals > kAliveCountMax) {
        return false;
    }
    sendKeepalive(st, directions);
    return true;
}

}  // namespace

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, decltype(left){1000000}));
}

void abandonLink(SessionState& st) {
    st.linkLost = true;
    if (st.socket != -1) {
        // libssh2 now sees every read and write fail at once and stops waiting.
        shutdown(st.socket, SHUT_RDWR);
    }
}

void freeCurrentChannel(SessionState& st) {
    if (st.channel == nullptr) {
        return;
    }
    if (untilDone(st, [&st] { return libssh2_channel_free(st.channel); }) != 0) {
        abandonLink(st);
        libssh2_channel_free(st.channel);
    }
    st.channel = nullptr;
}

bool waitForSocket(SessionState& st) {
    if (st.runClock.timedOut()) {
        abandonLink(st);
        return false;
    }
    const int directions = libssh2_session_block_directions(st.session);
    pollfd fd{st.socket, 0, 0};
    if (directions & LIBSSH2_SESSION_BLOCK_INBOUND) {
        fd.events |= POLLIN;
    }
    if (directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) {
        fd.events |= POLLOUT;
    }
    if (fd.events == 0) {
        fd.events = POLLIN;
        poll(&fd, 1, kNapMs);
        return st.loggedIn || millisecondsUntil(st.setupDeadline) > 0;
    }
    if (!st.loggedIn) {
        const int left = millisecondsUntil(st.setupDeadline);
        return left > 0 && (poll(&fd, 1, left) != 0 || millisecondsUntil(st.setupDeadline) > 0);
    }
    if (st.aliveInterval == 0) {
        poll(&fd, 1, st.runClock.pollTimeout(-1));
        return true;
    }
    if (!waitOneInterval(st, fd, directions)) {
        abandonLink(st);
        return false;
    }
    return true;
}

TUError connectionTimedOut() {
    return TUError{"Connection timed out"};
}

}  // namespace fieldkeep::remote
