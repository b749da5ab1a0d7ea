// Process-wide session state shared by the remote layer. Only src/remote sees libssh2.
#pragma once

#include <libssh2.h>

namespace fieldkeep::remote {

// The port of every connection; nothing changes it.
constexpr int kSshPort = 22;

struct SessionState {
    int socket = -1;
    LIBSSH2_SESSION* session = nullptr;
    LIBSSH2_CHANNEL* channel = nullptr;  // at most one channel at a time
};

SessionState& sessionState();

// Frees a channel left in the slot by an earlier operation.
void freeCurrentChannel();

// Blocks until the socket can move data in the direction libssh2 is waiting for.
void waitForSocket();

}  // namespace fieldkeep::remote
