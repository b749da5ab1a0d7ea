// Every channel of the run is opened here: the commands' session channels,
// opened one command ahead where the server takes that and one at a time
// otherwise, and the SCP upload's. libssh2 keeps one channel opening under way
// per session; these functions finish the one under way before starting
// another.
//
// Opening ahead saves each command of a sequence a round trip, but not every
// server takes it:
// - OpenSSH with a low MaxSessions refuses the channel opened ahead (the
//   current one still counts); the refusal costs nothing more, and the run
//   goes on one channel at a time.
// - Dropbear before 2024.86 closes a session channel that waits for its
//   request when another channel's command exits, then fails an assertion and
//   drops the connection; nothing of the run could be recovered after that. It
//   is recognised by its identification banner before the first channel opens
//   and never gets a channel ahead.
// One channel at a time, each channel is closed on both sides before the next
// opens. A server may still count the old session for a moment (OpenSSH until
// it next collects closed channels, so an opening that arrives with the close
// is refused): a refused opening is tried again a few times, and once that has
// happened the next openings leave the server a moment after each close.
#pragma once

#include <libssh2.h>

#include <string>

namespace fieldkeep::remote {

// Frees the previous command's channel and puts the next command's channel in
// the session's slot: the one opened ahead, or a new one. Null when the server
// refused it every time or the link broke.
LIBSSH2_CHANNEL* openCommandChannel();

// Frees the previous command's channel and opens an SCP upload of size bytes
// to path with mode. Null when the server refused the channel or the path.
LIBSSH2_CHANNEL* openScpChannel(const std::string& path, int mode, libssh2_int64_t size);

// Frees the channel of the command that has finished, once an opening ahead
// under way is through; one at a time, after both sides have closed it.
void releaseChannel();

// Starts or moves on the opening of the next command's channel, when a
// ChannelsAhead scope asks for one, the server takes it and none is there yet.
// Never waits.
void openChannelAhead();

// Whether an opening ahead is under way: its packet may be half sent.
bool openingChannelAhead();

// At teardown, before any other packet: finishes an opening ahead under way and
// leaves a channel that no command used to the disconnect, which ends it.
void dropChannelAhead();

// Counts the ChannelsAhead scopes that are open.
void enterChannelsAhead();
void leaveChannelsAhead();

// Whether a server that sent this identification banner keeps working when a
// session channel is opened before the previous command's channel has closed.
bool takesChannelsAhead(const std::string& banner);

}  // namespace fieldkeep::remote
