#include "remote/channel_pump.h"

#include <vector>

#include "remote/channel_opening.h"
#include "remote/exec.h"
#include "remote/session_state.h"

namespace fieldkeep::remote {
namespace {

enum class Step { Progress, Idle, Failed };

// libssh2 sends one packet at a time: while one is half sent, a call that
// wants to send another (a read's window adjustment, end-of-file) fails with
// one of these, and succeeds once the first packet is out.
bool blockedBehindHalfSentPacket(ssize_t rc) {
    return rc == LIBSSH2_ERROR_EAGAIN || rc == LIBSSH2_ERROR_BAD_USE ||
           rc == LIBSSH2_ERROR_SOCKET_SEND;
}

class InputSender {
public:
    explicit InputSender(std::string_view input) : input_(input) {}

    // Sends what the window takes, then end-of-file once everything is out.
    Step advance(LIBSSH2_CHANNEL* channel) {
        if (finished_) {
            return Step::Idle;
        }
        bool progress = false;
        midPacket_ = false;
        if (sent_ < input_.size()) {
            const ssize_t n =
                libssh2_channel_write(channel, input_.data() + sent_, input_.size() - sent_);
            if (n > 0) {
                sent_ += static_cast<std::size_t>(n);
                progress = true;
            } else if (blockedBehindHalfSentPacket(n)) {
                midPacket_ = n == LIBSSH2_ERROR_EAGAIN;
                return Step::Idle;
            } else {
                // The remote end takes no more input (it has exited or closed it).
                sent_ = input_.size();
            }
        }
        if (sent_ == input_.size()) {
            const int rc = libssh2_channel_send_eof(channel);
            if (!blockedBehindHalfSentPacket(rc)) {
                finished_ = true;
                progress = true;
            }
            midPacket_ = rc == LIBSSH2_ERROR_EAGAIN;
        }
        return progress ? Step::Progress : Step::Idle;
    }

    // Whether a packet of ours may be half sent, so that other sends must wait.
    bool midPacket() const { return midPacket_; }

private:
    std::string_view input_;
    std::size_t sent_ = 0;
    bool finished_ = false;
    bool midPacket_ = false;
};

// Reads everything of one stream that is there now.
Step drainStream(LIBSSH2_CHANNEL* channel, int streamId, std::vector<char>& buffer,
                 const OutputSink& into, const InputSender& sender) {
    Step step = Step::Idle;
    for (;;) {
        const ssize_t n = libssh2_channel_read_ex(channel, streamId, buffer.data(), buffer.size());
        if (n > 0) {
            into(buffer.data(), static_cast<std::size_t>(n));
            step = Step::Progress;
        } else if (n == 0 || n == LIBSSH2_ERROR_EAGAIN ||
                   (sender.midPacket() && blockedBehindHalfSentPacket(n))) {
            return step;
        } else {
            return Step::Failed;
        }
    }
}

// Reading one stream can take the other's packets off the socket; those must
// be read before waiting for more. (libssh2_poll_channel_read would fail once a
// keepalive's one-byte reply sits in the queue.)
bool dataQueued(LIBSSH2_CHANNEL* channel) {
    unsigned long queued = 0;
    libssh2_channel_window_read_ex(channel, &queued, nullptr);
    return queued > 0;
}

[[noreturn]] void loseConnection(SessionState& st) {
    abandonLink(st);
    throw ConnectionLost{{"Connection lost"}};
}

}  // namespace

bool pumpChannel(SessionState& st, LIBSSH2_CHANNEL* channel,
                 const std::function<int()>& startRequest, std::string_view input,
                 const OutputSink& onOutput, const OutputSink& onErrors) {
    std::vector<char> buffer(kReadChunk);
    InputSender sender(input);
    bool started = false;
    for (;;) {
        // A server that never stops sending never lets the loop wait.
        if (st.runClock.timedOut()) {
            loseConnection(st);
        }
        bool progress = false;
        if (!started) {
            const int rc = startRequest();
            started = rc == 0;
            progress = started;
            if (!started && rc != LIBSSH2_ERROR_EAGAIN) {
                return false;
            }
        }
        progress = sender.advance(channel) == Step::Progress || progress;
        const Step out = drainStream(channel, 0, buffer, onOutput, sender);
        const Step err = drainStream(channel, SSH_EXTENDED_DATA_STDERR, buffer, onErrors, sender);
        if (out == Step::Failed || err == Step::Failed) {
            loseConnection(st);
        }
        // True only after the remote end-of-file with nothing of either stream unread.
        if (started && libssh2_channel_eof(channel) != 0) {
            return true;
        }
        progress = progress || out == Step::Progress || err == Step::Progress;
        if (!progress && !dataQueued(channel) && !waitForSocket(st)) {
            loseConnection(st);
        }
    }
}

}  // namespace fieldkeep::remote
