#include "remote/spill_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "errors/uerror.h"

namespace fieldkeep {
namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;

int openUnlinkedFile(const std::string& dir) {
    const int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    std::string path = dir + "/fieldkeep.XXXXXX";
    const int named = mkostemp(path.data(), O_CLOEXEC);
    if (named >= 0) {
        unlink(path.c_str());
    }
    return named;
}

bool writeAt(int fd, const char* data, std::size_t size, std::size_t offset) {
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::size_t>(n);
    }
    return true;
}

// Bytes held back that cannot be read again would be output lost or garbled
// without a word: that ends the run as an unexpected failure.
void readAt(int fd, char* into, std::size_t size, std::size_t offset) {
    while (size > 0) {
        const ssize_t n = pread(fd, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw std::runtime_error("held output unreadable");
        }
        into += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::size_t>(n);
    }
}

}  // namespace

SpillBuffer::~SpillBuffer() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::vector<std::string> temporaryDirectories() {
    std::vector<std::string> dirs;
    const char* dir = std::getenv("TMPDIR");
    if (dir != nullptr && *dir != '\0') {
        dirs.emplace_back(dir);
    }
    for (const char* usual : {"/tmp", "/var/tmp", "/dev/shm"}) {
        dirs.emplace_back(usual);
    }
    return dirs;
}

void SpillBuffer::append(const char* data, std::size_t size) {
    if (size > sizeLimit_ - this->size()) {
        throw tooMuchOutput();
    }
    if (!spilled()) {
        memory_.append(data, size);
        if (memory_.size() > memoryLimit_) {
            moveToFile(nullptr, 0);
        }
    } else if (writeAt(fd_, data, size, fileEnd_)) {
        fileEnd_ += size;
    } else {
        // The file's disk is full: the bytes move on to the next directory.
        moveToFile(data, size);
    }
}

// Copies the bytes held, then data, into a fresh file, a piece at a time, and
// holds them there from then on.
void SpillBuffer::moveToFile(const char* data, std::size_t size) {
    std::string tried;
    for (const std::string& dir : directories_) {
        tried += (tried.empty() ? "" : ", ") + dir;
        const int fd = openUnlinkedFile(dir);
        if (fd < 0) {
            continue;
        }
        std::size_t end = 0;
        bool written = true;
        try {
            visit(0, this->size(), [&](const char* bytes, std::size_t n) {
                written = written && writeAt(fd, bytes, n, end);
                end += n;
            });
        } catch (...) {
            close(fd);
            throw;
        }
        if (written && writeAt(fd, data, size, end)) {
            clear();
            std::string().swap(memory_);
            fd_ = fd;
            fileEnd_ = end + size;
            return;
        }
        close(fd);
    }
    throw TUError{"No temporary file for held-back output (tried " + tried + ")"};
}

void SpillBuffer::visit(std::size_t pos, std::size_t count, const OutputSink& sink) const {
    if (!spilled()) {
        sink(memory_.data() + pos, count);
        return;
    }
    std::vector<char> chunk(count < kChunk ? count : kChunk);
    std::size_t offset = fileStart_ + pos;
    while (count > 0) {
        const std::size_t n = count < chunk.size() ? count : chunk.size();
        readAt(fd_, chunk.data(), n, offset);
        sink(chunk.data(), n);
        offset += n;
        count -= n;
    }
}

void SpillBuffer::emitFront(std::size_t count, const OutputSink& sink) {
    if (count == 0) {
        return;
    }
    visit(0, count, sink);
    if (!spilled()) {
        memory_.erase(0, count);
        return;
    }
    fileStart_ += count;
    if (fileStart_ == fileEnd_) {
        clear();
    }
}

std::string SpillBuffer::copy(std::size_t pos, std::size_t count) const {
    std::string text;
    visit(pos, count, [&text](const char* data, std::size_t size) { text.append(data, size); });
    return text;
}

void SpillBuffer::clear() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    fileStart_ = 0;
    fileEnd_ = 0;
    memory_.clear();
}

}  // namespace fieldkeep
