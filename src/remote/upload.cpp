#include "remote/upload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "errors/uerror.h"
#include "remote/channel_opening.h"
#include "remote/output_limits.h"
#include "remote/session_state.h"

namespace fieldkeep {

UploadSource::UploadSource(const std::string& path) : path_(path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        throw TUError{"Unable to define file size"};
    }
    if (!S_ISREG(info.st_mode)) {
        throw readFailure();
    }
    // Without O_NONBLOCK, a FIFO put in the file's place meanwhile would block
    // the open until some writer came.
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        throw TUError{"Unable to open the file " + path_};
    }
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) ||
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd_);
        fd_ = -1;
        throw readFailure();
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
}

UploadSource::~UploadSource() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::size_t UploadSource::readSome(char* into, std::size_t size) {
    for (;;) {
        const ssize_t n = read(fd_, into, size);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            throw readFailure();
        }
    }
}

namespace {

constexpr int kRemoteMode = 0640;
constexpr std::size_t kCopyBlock = std::size_t{256} * 1024;
constexpr std::size_t kAnswerBuffer = 2048;

// The SCP receiver's answers: a zero byte confirms, 1 (warning) or 2 (fatal)
// start an error text that ends with a line feed.
constexpr char kConfirmed = '\0';
constexpr char kWarning = '\1';
constexpr char kFatal = '\2';

// A wait that gave up on a silent or vanished server is no refusal of the path.
LIBSSH2_CHANNEL* openUploadChannel(remote::SessionState& st, const std::string& to,
                                   libssh2_int64_t size, const std::string& broke) {
    LIBSSH2_CHANNEL* channel = remote::openScpChannel(st, to, kRemoteMode, size);
    if (channel == nullptr) {
        throw st.linkLost ? TUError{broke} : TUError{"Unable to open the scp channel"};
    }
    return channel;
}

void writeAll(remote::SessionState& st, LIBSSH2_CHANNEL* channel, const char* data,
              std::size_t size, const std::string& broke) {
    while (size > 0) {
        const ssize_t n =
            remote::untilDone(st, [=] { return libssh2_channel_write(channel, data, size); });
        if (n < 0) {
            throw TUError{broke};
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Sends exactly the announced number of bytes: more would break the protocol,
// fewer (a file that shrank meanwhile) would leave the receiver waiting.
void sendContent(remote::SessionState& st, LIBSSH2_CHANNEL* channel, UploadSource& file,
                 const std::string& broke) {
    std::vector<char> block(kCopyBlock);
    std::uint64_t remaining = file.size();
    while (remaining > 0) {
        const std::size_t want =
            remaining < block.size() ? static_cast<std::size_t>(remaining) : block.size();
        const std::size_t got = file.readSome(block.data(), want);
        if (got == 0) {
            throw file.readFailure();
        }
        writeAll(st, channel, block.data(), got, broke);
        remaining -= got;
    }
}

// Reads what the receiver says: at most size bytes, 0 once it has closed.
ssize_t readAnswer(remote::SessionState& st, LIBSSH2_CHANNEL* channel, char* into,
                   std::size_t size) {
    return remote::untilDone(st, [=] { return libssh2_channel_read(channel, into, size); });
}

TUError copyFailure(const char* data, std::size_t size) {
    return TUError{"Failed to copy content: " + std::string(data, strnlen(data, size))};
}

// The end-of-content byte asks the receiver whether it stored the file.
void awaitConfirmation(remote::SessionState& st, LIBSSH2_CHANNEL* channel,
                       const std::string& broke) {
    const char endOfContent = '\0';
    writeAll(st, channel, &endOfContent, 1, broke);
    char status = 0;
    const ssize_t n = readAnswer(st, channel, &status, 1);
    if (n <= 0) {
        throw n < 0 ? TUError{broke}
                    : TUError{"Failed to copy content: the receiver ended without confirming"};
    }
    if (status == kConfirmed) {
        return;
    }
    if (status != kWarning && status != kFatal) {
        std::vector<char> rest(kAnswerBuffer);
        rest[0] = status;
        const ssize_t more = readAnswer(st, channel, rest.data() + 1, rest.size() - 1);
        throw copyFailure(rest.data(), 1 + static_cast<std::size_t>(more > 0 ? more : 0));
    }
    std::string text;
    char c = 0;
    while (readAnswer(st, channel, &c, 1) == 1 && c != '\n') {
        if (text.size() == kOwnLineOutputLimit) {
            throw tooMuchOutput();
        }
        text += c;
    }
    throw TUError{"Failed to copy content: " + text};
}

// Ends the upload and waits for the receiver to finish; anything it still says
// is its error report.
void finishUpload(remote::SessionState& st, LIBSSH2_CHANNEL* channel) {
    remote::untilDone(st, [channel] { return libssh2_channel_send_eof(channel); });
    if (libssh2_channel_eof(channel) == 0) {
        // Waits until the receiver says something or closes the channel (0).
        std::vector<char> buffer(kAnswerBuffer);
        const ssize_t n = readAnswer(st, channel, buffer.data(), buffer.size());
        if (n > 0) {
            throw copyFailure(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    remote::untilDone(st, [channel] { return libssh2_channel_close(channel); });
}

}  // namespace

void scpUpload(remote::SessionState& st, UploadSource& from, const std::string& to,
               const std::string& address) {
    // A link that broke on the way leaves the file's state unknown.
    const std::string broke = "Failed to write into the file " + to + " on " + address;
    LIBSSH2_CHANNEL* channel =
        openUploadChannel(st, to, static_cast<libssh2_int64_t>(from.size()), broke);
    sendContent(st, channel, from, broke);
    awaitConfirmation(st, channel, broke);
    finishUpload(st, channel);
    remote::releaseChannel(st);
}

}  // namespace fieldkeep
