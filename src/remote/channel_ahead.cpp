#include "remote/channel_ahead.h"

#include "remote/channel_pump.h"
#include "remote/exec.h"
#include "remote/session_state.h"

namespace fieldkeep {

ChannelsAhead::ChannelsAhead() {
    ++remote::sessionState().aheadScopes;
}

ChannelsAhead::~ChannelsAhead() {
    --remote::sessionState().aheadScopes;
}

namespace remote {

LIBSSH2_CHANNEL* openSessionChannel() {
    static const char kChannelType[] = "session";
    return libssh2_channel_open_ex(sessionState().session, kChannelType, sizeof kChannelType - 1,
                                   kChannelWindow, kChannelPacket, nullptr, 0);
}

void openChannelAhead() {
    SessionState& st = sessionState();
    if (st.aheadScopes == 0 || st.ahead != nullptr || st.aheadRefused) {
        return;
    }
    st.ahead = openSessionChannel();
    st.aheadOpening =
        st.ahead == nullptr && libssh2_session_last_errno(st.session) == LIBSSH2_ERROR_EAGAIN;
    st.aheadRefused = st.ahead == nullptr && !st.aheadOpening;
}

bool openingChannelAhead() {
    return sessionState().aheadOpening;
}

// The opening under way is libssh2's one pending opening: finishes it.
void finishOpeningAhead(SessionState& st) {
    if (st.aheadOpening) {
        st.ahead = handleWhenReady(openSessionChannel);
        st.aheadOpening = false;
    }
}

LIBSSH2_CHANNEL* takeChannelAhead() {
    SessionState& st = sessionState();
    finishOpeningAhead(st);
    LIBSSH2_CHANNEL* channel = st.ahead;
    st.ahead = nullptr;
    return channel;
}

void dropChannelAhead() {
    SessionState& st = sessionState();
    finishOpeningAhead(st);
    if (st.ahead != nullptr) {
        libssh2_channel_close(st.ahead);
        st.ahead = nullptr;  // freed with the session
    }
}

}  // namespace remote
}  // namespace fieldkeep
