// Bytes held back for later, in memory up to a limit and past it in an unlinked
// temporary file, so that holding back remote output costs little memory. More
// than sizeLimit bytes held at once end the run ("Too much output from the
// host"). The file goes into the first of the directories given that takes all
// the bytes, moving on when one fills up; when none does, the run ends too
// rather than the memory grow.
#pragma once

#include <string>
#include <vector>

#include "remote/output_limits.h"
#include "remote/output_sink.h"

namespace fieldkeep {

// The usual temporary directories: TMPDIR (when set and not empty), /tmp,
// /var/tmp and /dev/shm.
std::vector<std::string> temporaryDirectories();

class SpillBuffer {
public:
    static constexpr std::size_t kDefaultMemoryLimit = std::size_t{4} * 1024 * 1024;

    explicit SpillBuffer(std::size_t memoryLimit = kDefaultMemoryLimit,
                         std::size_t sizeLimit = kHeldBackLimit,
                         std::vector<std::string> directories = temporaryDirectories())
        : memoryLimit_(memoryLimit), sizeLimit_(sizeLimit), directories_(std::move(directories)) {}
    ~SpillBuffer();
    SpillBuffer(const SpillBuffer&) = delete;
    SpillBuffer& operator=(const SpillBuffer&) = delete;

    void append(const char* data, std::size_t size);
    std::size_t size() const { return spilled() ? fileEnd_ - fileStart_ : memory_.size(); }

    // Passes bytes [pos, pos + count) to sink, in pieces.
    void visit(std::size_t pos, std::size_t count, const OutputSink& sink) const;
    // Passes the first count bytes to sink and drops them.
    void emitFront(std::size_t count, const OutputSink& sink);
    // Bytes [pos, pos + count) as a string; for short ranges.
    std::string copy(std::size_t pos, std::size_t count) const;
    void clear();

private:
    bool spilled() const { return fd_ >= 0; }
    void moveToFile(const char* data, std::size_t size);

    std::size_t memoryLimit_;
    std::size_t sizeLimit_;
    std::vector<std::string> directories_;
    std::string memory_;  // the bytes, while not spilled
    int fd_ = -1;         // the file, once spilled: bytes [fileStart_, fileEnd_)
    std::size_t fileStart_ = 0;
    std::size_t fileEnd_ = 0;
};

}  // namespace fieldkeep
