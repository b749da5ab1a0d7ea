#include "remote/exec.h"

#include <cstring>

#include "remote/channel_opening.h"
#include "remote/channel_pump.h"
#include "remote/exit_status.h"
#include "remote/output_limits.h"
#include "remote/session_state.h"
#include "remote/spill_buffer.h"

namespace fieldkeep {
namespace {

const char kTerminalType[] = "linux";
constexpr int kTerminalColumns = 80;
constexpr int kTerminalRows = 24;

// A refusal from the server is reported with text; a wait that gave up on a
// silent or vanished server means the link is gone.
[[noreturn]] void failRequest(const remote::SessionState& st, const std::string& text) {
    if (st.linkLost) {
        throw ConnectionLost{{"Connection lost"}};
    }
    throw TUError{text};
}

LIBSSH2_CHANNEL* openExecChannel(remote::SessionState& st) {
    LIBSSH2_CHANNEL* channel = remote::openCommandChannel(st);
    if (channel == nullptr) {
        failRequest(st, "Unable to open a session");
    }
    return channel;
}

void requestPty(remote::SessionState& st, LIBSSH2_CHANNEL* channel) {
    if (remote::untilDone(st, [channel] {
            return libssh2_channel_request_pty_ex(channel, kTerminalType, sizeof kTerminalType - 1,
                                                  nullptr, 0, kTerminalColumns, kTerminalRows, 0,
                                                  0);
        }) != 0) {
        failRequest(st, "Failed requesting pty");
    }
}

void runOnChannel(remote::SessionState& st, const std::string& command, const std::string& input,
                  bool usePty, const OutputSink& onOutput, const OutputSink& onErrors) {
    LIBSSH2_CHANNEL* channel = openExecChannel(st);
    if (usePty) {
        requestPty(st, channel);
    }
    libssh2_channel_handle_extended_data2(channel, LIBSSH2_CHANNEL_EXTENDED_DATA_NORMAL);
    const std::string wrapped = wrapCommand(command);
    // The request carries the line up to its first NUL byte, as a C string would.
    const auto length = static_cast<unsigned>(std::strlen(wrapped.c_str()));
    const auto startRequest = [channel, &wrapped, length] {
        return libssh2_channel_process_startup(channel, "exec", 4, wrapped.c_str(), length);
    };
    if (!remote::pumpChannel(st, channel, startRequest, input, onOutput, onErrors)) {
        failRequest(st, "Unable to request exec: " + wrapped);
    }
    remote::releaseChannel(st);
}

}  // namespace

RemoteResult execRemote(remote::SessionState& st, const std::string& command,
                        const std::string& input, bool usePty) {
    RemoteResult result{-1, {}, {}};
    runOnChannel(st, command, input, usePty, boundedAppend(result.output, kOwnLineOutputLimit),
                 boundedAppend(result.errors, kOwnLineOutputLimit));
    result.status = splitExitStatus(result.output);
    return result;
}

int execRemoteStreaming(remote::SessionState& st, const std::string& command,
                        const std::string& input, const OutputSink& sink) {
    StatusTrailerSplitter output(sink);
    SpillBuffer errors;
    const auto passOnErrors = [&errors, &sink] { errors.emitFront(errors.size(), sink); };
    try {
        runOnChannel(
            st, command, input, false,
            [&output](const char* data, std::size_t size) { output.feed(data, size); },
            [&errors](const char* data, std::size_t size) { errors.append(data, size); });
    } catch (const ConnectionLost&) {
        output.flush();
        passOnErrors();
        throw;
    } catch (const TUError&) {
        // Too much output, or a refusal: the output that arrived is shown, the
        // errors held back are not.
        output.flush();
        throw;
    }
    std::string rest;
    const int status = output.finish(rest);
    sink(rest.data(), rest.size());
    passOnErrors();
    return status;
}

}  // namespace fieldkeep
