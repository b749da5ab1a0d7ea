#include "remote/channel_opening.h"

#include <chrono>
#include <thread>

#include "remote/server_banner.h"
#include "remote/session_state.h"

namespace fieldkeep::remote {
namespace {

// A receive window this large lets a slow link stream without waiting for a
// window adjustment every few kilobytes.
constexpr unsigned kChannelWindow = 2 * 1024 * 1024;
constexpr unsigned kChannelPacket = 32768;

// A refused opening, one at a time, is tried again this often in all; the
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

// The first Dropbear release that keeps a waiting channel open while another
// one's command exits, as year * 100 + release.
constexpr int kDropbearTakingChannelsAhead = 202486;

enum class Pace { Undecided, Ahead, OneAtATime };

struct Openings {
    Pace pace = Pace::Undecided;
    int aheadScopes = 0;
    LIBSSH2_CHANNEL* ahead = nullptr;                // the next command's channel, opened
    bool aheadUnderWay = false;                      // its opening is under way
    bool countsClosedSessions = false;               // refused an opening that followed a close
    std::chrono::steady_clock::time_point closedAt;  // when our last close went out
};

Openings& openings() {
    static Openings state;
    return state;
}

// The pace is chosen by the server's banner before the first opening, and
// drops to one at a time for the rest of the run once an opening ahead is refused.
bool pacedAhead(Openings& o) {
    if (o.pace == Pace::Undecided) {
        const char* banner = libssh2_session_banner_get(sessionState().session);
        o.pace = banner == nullptr || takesChannelsAhead(banner) ? Pace::Ahead : Pace::OneAtATime;
    }
    return o.pace == Pace::Ahead;
}

LIBSSH2_CHANNEL* startSessionChannel() {
    static const char kChannelType[] = "session";
    return libssh2_channel_open_ex(sessionState().session, kChannelType, sizeof kChannelType - 1,
                                   kChannelWindow, kChannelPacket, nullptr, 0);
}

// Finishes the opening under way, libssh2's one pending opening, before any other.
void finishOpeningAhead(Openings& o) {
    if (o.aheadUnderWay) {
        o.ahead = handleWhenReady(startSessionChannel);
        o.aheadUnderWay = false;
        if (o.ahead == nullptr) {
            o.pace = Pace::OneAtATime;
        }
    }
}

// A refused opening limits the rest of the run to one channel at a time.
bool refusedByServer() {
    Openings& o = openings();
    if (libssh2_session_last_errno(sessionState().session) != LIBSSH2_ERROR_CHANNEL_FAILURE) {
        return false;
    }
    o.pace = Pace::OneAtATime;
    o.countsClosedSessions = true;
    return true;
}

// Opens with open (a non-blocking opening), again when the server refused it
// while it still counted a closed session.
template <typename Open>
LIBSSH2_CHANNEL* openWithRetries(Open open) {
    std::chrono::milliseconds pause{0};
    for (int attempt = 1;; ++attempt) {
        LIBSSH2_CHANNEL* channel = handleWhenReady(open);
        if (channel != nullptr || attempt == kOpenAttempts || !refusedByServer()) {
            return channel;
        }
        std::this_thread::sleep_for(pause);
        pause = pause.count() == 0 ? kFirstRetryPause : pause * 2;
    }
}

// One at a time, a channel is closed on both sides before the next opens:
// libssh2's close alone may return before the server's close arrives.
void closeCurrentChannel(Openings& o) {
    LIBSSH2_CHANNEL* channel = sessionState().channel;
    if (channel == nullptr ||
        untilDone([channel] { return libssh2_channel_close(channel); }) != 0) {
        return;
    }
    o.closedAt = std::chrono::steady_clock::now();
    if (libssh2_channel_eof(channel) != 0) {
        while (libssh2_channel_wait_closed(channel) == LIBSSH2_ERROR_EAGAIN &&
               std::chrono::steady_clock::now() < o.closedAt + kCloseWait && waitForSocket()) {
        }
    }
}

// Frees the previous channel and makes way for a new opening.
void prepareOpening(Openings& o) {
    releaseChannel();
    if (!pacedAhead(o) && o.countsClosedSessions) {
        std::this_thread::sleep_until(o.closedAt + kSettlePause);
    }
}

}  // namespace

LIBSSH2_CHANNEL* openCommandChannel() {
    Openings& o = openings();
    prepareOpening(o);
    LIBSSH2_CHANNEL*& channel = sessionState().channel;
    channel = o.ahead;
    o.ahead = nullptr;
    if (channel == nullptr) {
        channel = openWithRetries(startSessionChannel);
    }
    return channel;
}

LIBSSH2_CHANNEL* openScpChannel(const std::string& path, int mode, libssh2_int64_t size) {
    Openings& o = openings();
    prepareOpening(o);
    LIBSSH2_SESSION* session = sessionState().session;
    sessionState().channel = openWithRetries(
        [&] { return libssh2_scp_send64(session, path.c_str(), mode, size, 0, 0); });
    return sessionState().channel;
}

void releaseChannel() {
    Openings& o = openings();
    // The close goes out after the opening under way: it would otherwise meet a
    // half-sent opening packet and be left unsent.
    finishOpeningAhead(o);
    if (!pacedAhead(o)) {
        closeCurrentChannel(o);
    }
    freeCurrentChannel();
}

void openChannelAhead() {
    Openings& o = openings();
    if (o.aheadScopes == 0 || o.ahead != nullptr || !pacedAhead(o)) {
        return;
    }
    o.ahead = startSessionChannel();
    const int error = o.ahead == nullptr ? libssh2_session_last_errno(sessionState().session) : 0;
    o.aheadUnderWay = error == LIBSSH2_ERROR_EAGAIN;
    // Behind a half-sent packet of the command's (its request, its input) the
    // opening is only put off to the next call; anything else refused it.
    if (o.ahead == nullptr && !o.aheadUnderWay && error != LIBSSH2_ERROR_BAD_USE) {
        o.pace = Pace::OneAtATime;
    }
}

bool openingChannelAhead() {
    return openings().aheadUnderWay;
}

void dropChannelAhead() {
    Openings& o = openings();
    finishOpeningAhead(o);
    o.ahead = nullptr;  // freed with the session, which the disconnect ends
}

void enterChannelsAhead() {
    ++openings().aheadScopes;
}

void leaveChannelsAhead() {
    --openings().aheadScopes;
}

bool takesChannelsAhead(const std::string& banner) {
    // "SSH-2.0-dropbear_2022.83": the software part follows the protocol version.
    const std::size_t software = banner.find('-', banner.find('-') + 1);
    if (software == std::string::npos || banner.compare(software + 1, 8, "dropbear") != 0) {
        return true;
    }
    const auto version = versionAfter(std::string_view(banner).substr(software + 1), "dropbear_");
    return version && version->first * 100 + version->second >= kDropbearTakingChannelsAhead;
}

}  // namespace fieldkeep::remote
