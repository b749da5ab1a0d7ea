#include "remote/channel_opening.h"

#include <chrono>
#include <thread>

#include "remote/session_state.h"

namespace fieldkeep::remote {
namespace {

// A receive window this large lets a slow link stream without waiting for a
// window adjustment every few kilobytes.
constexpr unsigned kChannelWindow = 2 * 1024 * 1024;
constexpr unsigned kChannelPacket = 32768;

// A refused opening is tried again this often in all; the
// first retry follows the refusal at once (its round trip gave the server time
// to let the old session go), later ones after growing pauses.
constexpr int kOpenAttempts = 5;
constexpr std::chrono::milliseconds kFirstRetryPause{25};
// Once a server has refused an opening that followed a close, later openings
// go out this long after the close: the server then reads the close on its own
// and lets the old session go before the opening arrives, which costs less
// than the round trip of another refusal.
constexpr std::chrono::milliseconds kSettlePause{10};
// The server's close of a channel comes with the end of its command; one that
// is withheld is waited for about this long (at least one keepalive interval).
constexpr std::chrono::seconds kCloseWait{2};

LIBSSH2_CHANNEL* startSessionChannel(SessionState& st) {
    static const char kChannelType[] = "session";
    return libssh2_channel_open_ex(st.session, kChannelType, sizeof kChannelType - 1,
                                   kChannelWindow, kChannelPacket, nullptr, 0);
}

// A refused opening makes the next openings wait a moment after each close.
bool refusedByServer(SessionState& st) {
    if (libssh2_session_last_errno(st.session) != LIBSSH2_ERROR_CHANNEL_FAILURE) {
        return false;
    }
    st.countsClosedSessions = true;
    return true;
}

// Opens with open (a non-blocking opening), again when the server refused it
// while it still counted a closed session.
template <typename Open>
LIBSSH2_CHANNEL* openWithRetries(SessionState& st, Open open) {
    std::chrono::milliseconds pause{0};
    for (int attempt = 1;; ++attempt) {
        LIBSSH2_CHANNEL* channel = handleWhenReady(st, open);
        if (channel != nullptr || attempt == kOpenAttempts || !refusedByServer(st)) {
            return channel;
        }
        std::this_thread::sleep_for(pause);
        pause = pause.count() == 0 ? kFirstRetryPause : pause * 2;
    }
}

// A channel is closed on both sides before the next opens: libssh2's close
// alone may return before the server's close arrives.
void closeCurrentChannel(SessionState& st) {
    LIBSSH2_CHANNEL* channel = st.channel;
    if (channel == nullptr ||
        untilDone(st, [channel] { return libssh2_channel_close(channel); }) != 0) {
        return;
    }
    st.closedAt = std::chrono::steady_clock::now();
    if (libssh2_channel_eof(channel) != 0) {
        while (libssh2_channel_wait_closed(channel) == LIBSSH2_ERROR_EAGAIN &&
               std::chrono::steady_clock::now() < st.closedAt + kCloseWait && waitForSocket(st)) {
        }
    }
}

// Frees the previous channel and makes way for a new opening.
void prepareOpening(SessionState& st) {
    releaseChannel(st);
    if (st.countsClosedSessions) {
        std::this_thread::sleep_until(st.closedAt + kSettlePause);
    }
}

}  // namespace

LIBSSH2_CHANNEL* openCommandChannel(SessionState& st) {
    prepareOpening(st);
    st.channel = openWithRetries(st, [&st] { return startSessionChannel(st); });
    return st.channel;
}

LIBSSH2_CHANNEL* openScpChannel(SessionState& st, const std::string& path, int mode,
                                libssh2_int64_t size) {
    prepareOpening(st);
    st.channel = openWithRetries(
        st, [&] { return libssh2_scp_send64(st.session, path.c_str(), mode, size, 0, 0); });
    return st.channel;
}

void releaseChannel(SessionState& st) {
    closeCurrentChannel(st);
    freeCurrentChannel(st);
}

}  // namespace fieldkeep::remote
