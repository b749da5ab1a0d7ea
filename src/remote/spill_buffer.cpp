#include "remote/spill_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace fieldkeep {
namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;

int openUnlinkedFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    const int fd = open(path.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    path += "/fieldkeep.XXXXXX";
    const int named = mkostemp(path.data(), O_CLOEXEC);
    if (named >= 0) {
        unlink(path.c_str());
    }
    return named;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
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

void SpillBuffer::append(const char* data, std::size_t size) {
    if (size > sizeLimit_ - this->size()) {
        throw tooMuchOutput();
    }
    if (spilled()) {
        if (writeAll(fd_, data, size)) {
            fileEnd_ += size;
            return;
        }
        // The disk is full: hold everything in memory rather than lose bytes.
        unspill();
    }
    memory_.append(data, size);
    if (memory_.size() > memoryLimit_) {
        spill();
    }
}

// Moves the bytes into a fresh file; without one they stay in memory.
void SpillBuffer::spill() {
    const int fd = openUnlinkedFile();
    if (fd < 0) {
        return;
    }
    if (!writeAll(fd, memory_.data(), memory_.size())) {
        close(fd);
        return;
    }
    fd_ = fd;
    fileStart_ = 0;
    fileEnd_ = memory_.size();
    std::string().swap(memory_);
}

void SpillBuffer::unspill() {
    std::string held(fileEnd_ - fileStart_, '\0');
    readAt(fd_, held.data(), held.size(), fileStart_);
    close(fd_);
    fd_ = -1;
    memory_ = std::move(held);
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
