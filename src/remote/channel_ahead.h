// Session channels opened one command ahead. Opening a channel costs a round
// trip; a command sequence saves it by opening the next command's channel
// while the current command runs, so the next command needs only its exec
// request.
#pragma once

#include <libssh2.h>

namespace fieldkeep::remote {

// Starts opening a session channel; null with LIBSSH2_ERROR_EAGAIN while under way.
LIBSSH2_CHANNEL* openSessionChannel();

// Starts or moves on the opening of the next command's channel, when a
// ChannelsAhead scope asks for one and none is there yet. Never waits.
void openChannelAhead();

// Whether an opening is under way: its packet may be half sent.
bool openingChannelAhead();

// The channel opened ahead, once its opening has finished; null when there is none.
LIBSSH2_CHANNEL* takeChannelAhead();

// At teardown: asks the server to close a channel that no command used, without
// waiting for its answer (the disconnect that follows ends it anyway).
void dropChannelAhead();

}  // namespace fieldkeep::remote
