#include "remote/exec.h"

#include <cstring>
#include <vector>

#include "errors/uerror.h"
#include "remote/channel_pump.h"
#include "remote/exit_status.h"
#include "remote/session_state.h"

namespace fieldkeep {
namespace {

const char kChannelType[] = "session";
const char kTerminalType[] = "linux";
constexpr int kTerminalColumns = 80;
constexpr int kTerminalRows = 24;

LIBSSH2_CHANNEL* openExecChannel() {
    remote::SessionState& st = remote::sessionState();
    remote::freeCurrentChannel();
    st.channel =
        libssh2_channel_open_ex(st.session, kChannelType, sizeof kChannelType - 1,
                                remote::kChannelWindow, remote::kChannelPacket, nullptr, 0);
    if (st.channel == nullptr) {
        throw TUError{"Unable to open a session"};
    }
    return st.channel;
}

void requestPty(LIBSSH2_CHANNEL* channel) {
    if (libssh2_channel_request_pty_ex(channel, kTerminalType, sizeof kTerminalType - 1, nullptr, 0,
                                       kTerminalColumns, kTerminalRows, 0, 0) != 0) {
        throw TUError{"Failed requesting pty"};
    }
}

void startCommand(LIBSSH2_CHANNEL* channel, const std::string& wrapped) {
    // The request carries the line up to its first NUL byte, as a C string would.
    const auto length = static_cast<unsigned>(std::strlen(wrapped.c_str()));
    if (libssh2_channel_process_startup(channel, "exec", 4, wrapped.c_str(), length) != 0) {
        throw TUError{"Unable to request exec: " + wrapped};
    }
}

RemoteResult runOnChannel(const std::string& command, const std::string& input, bool usePty,
                          const OutputSink& onOutput) {
    LIBSSH2_CHANNEL* channel = openExecChannel();
    if (usePty) {
        requestPty(channel);
    }
    const std::string wrapped = wrapCommand(command);
    startCommand(channel, wrapped);
    libssh2_channel_handle_extended_data2(channel, LIBSSH2_CHANNEL_EXTENDED_DATA_NORMAL);

    RemoteResult result{-1, {}, {}};
    remote::pumpChannel(channel, input, onOutput, result.errors);
    remote::freeCurrentChannel();
    return result;
}

}  // namespace

RemoteResult execRemote(const std::string& command, const std::string& input, bool usePty) {
    std::string output;
    RemoteResult result =
        runOnChannel(command, input, usePty,
                     [&output](const char* data, std::size_t size) { output.append(data, size); });
    result.status = splitExitStatus(output);
    result.output = std::move(output);
    return result;
}

RemoteResult execRemoteStreaming(const std::string& command, const std::string& input,
                                 const OutputSink& onOutput) {
    StatusTrailerSplitter splitter(onOutput);
    RemoteResult result = runOnChannel(
        command, input, false,
        [&splitter](const char* data, std::size_t size) { splitter.feed(data, size); });
    result.status = splitter.finish(result.output);
    return result;
}

}  // namespace fieldkeep
