#include "remote/channel_pump.h"

#include <vector>

#include "remote/session_state.h"

namespace fieldkeep::remote {
namespace {

enum class Step { Progress, Idle, Failed };

class InputSender {
public:
    explicit InputSender(std::string_view input) : input_(input) {}

    // Sends what the window takes, then end-of-file once everything is out.
    Step advance(LIBSSH2_CHANNEL* channel) {
        if (eofSent_) {
            return Step::Idle;
        }
        bool progress = false;
        if (sent_ < input_.size()) {
            const ssize_t n =
                libssh2_channel_write(channel, input_.data() + sent_, input_.size() - sent_);
            if (n > 0) {
                sent_ += static_cast<std::size_t>(n);
                progress = true;
            } else if (n != LIBSSH2_ERROR_EAGAIN) {
                // The remote end takes no more input (it has exited or closed it).
                sent_ = input_.size();
            }
        }
        if (sent_ == input_.size()) {
            const int rc = libssh2_channel_send_eof(channel);
            if (rc != LIBSSH2_ERROR_EAGAIN) {
                eofSent_ = true;
                progress = true;
            }
        }
        return progress ? Step::Progress : Step::Idle;
    }

private:
    std::string_view input_;
    std::size_t sent_ = 0;
    bool eofSent_ = false;
};

// Reads everything of one stream that is there now.
Step drainStream(LIBSSH2_CHANNEL* channel, int streamId, std::vector<char>& buffer,
                 const OutputSink& into) {
    Step step = Step::Idle;
    for (;;) {
        const ssize_t n = libssh2_channel_read_ex(channel, streamId, buffer.data(), buffer.size());
        if (n > 0) {
            into(buffer.data(), static_cast<std::size_t>(n));
            step = Step::Progress;
        } else if (n == 0 || n == LIBSSH2_ERROR_EAGAIN) {
            return step;
        } else {
            return Step::Failed;
        }
    }
}

bool dataQueued(LIBSSH2_CHANNEL* channel) {
    return libssh2_poll_channel_read(channel, 0) != 0 || libssh2_poll_channel_read(channel, 1) != 0;
}

}  // namespace

void pumpChannel(LIBSSH2_CHANNEL* channel, std::string_view input, const OutputSink& onOutput,
                 std::string& errors) {
    const OutputSink onErrors = [&errors](const char* data, std::size_t size) {
        errors.append(data, size);
    };
    LIBSSH2_SESSION* session = sessionState().session;
    libssh2_session_set_blocking(session, 0);
    std::vector<char> buffer(kReadChunk);
    InputSender sender(input);
    for (;;) {
        bool progress = sender.advance(channel) == Step::Progress;
        const Step out = drainStream(channel, 0, buffer, onOutput);
        const Step err = drainStream(channel, SSH_EXTENDED_DATA_STDERR, buffer, onErrors);
        if (out == Step::Failed || err == Step::Failed) {
            break;
        }
        // True only after the remote end-of-file with nothing of either stream unread.
        if (libssh2_channel_eof(channel) != 0) {
            break;
        }
        progress = progress || out == Step::Progress || err == Step::Progress;
        if (!progress && !dataQueued(channel)) {
            waitForSocket();
        }
    }
    libssh2_session_set_blocking(session, 1);
}

}  // namespace fieldkeep::remote
