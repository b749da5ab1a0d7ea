// Moves data through one open channel until the remote end has finished.
#pragma once

#include <libssh2.h>

#include <functional>
#include <string_view>

#include "remote/output_sink.h"
#include "remote/session_state.h"

namespace fieldkeep::remote {

constexpr std::size_t kReadChunk = std::size_t{64} * 1024;

// Calls startRequest (a non-blocking exec request) until the server answers
// it, and meanwhile already writes all of input and then end-of-file and
// passes standard output and standard error on as they arrive, until the remote end sent
// end-of-file with no data left unread. Sending the input with the request rather than after its
// answer saves a round trip. Returns false when the server refused the request. Throws
// ConnectionLost when the transport breaks or the server falls silent.
bool pumpChannel(SessionState& st, LIBSSH2_CHANNEL* channel,
                 const std::function<int()>& startRequest, std::string_view input,
                 const OutputSink& onOutput, const OutputSink& onErrors);

}  // namespace fieldkeep::remote
