// Uploads one local file to the remote host over SCP.
#pragma once

#include <cstdint>
#include <string>

#include "errors/uerror.h"

namespace fieldkeep::remote {
// The state of the run's connection (remote/session_state.h).
struct SessionState;
}  // namespace fieldkeep::remote

namespace fieldkeep {

// The local side of an upload: a regular file, examined and opened before a
// connection is made, so that a local problem sends nothing.
class UploadSource {
public:
    // Throws TUError: "Unable to define file size" when path cannot be examined,
    // "Failed to read from the file PATH" when it is no regular file (a FIFO or
    // device is never opened, so nothing can block), "Unable to open the file
    // PATH" when it cannot be opened for reading.
    explicit UploadSource(const std::string& path);
    ~UploadSource();
    UploadSource(const UploadSource&) = delete;
    UploadSource& operator=(const UploadSource&) = delete;

    std::uint64_t size() const { return size_; }
    // Reads up to size bytes; 0 only at the end of the file.
    std::size_t readSome(char* into, std::size_t size);
    TUError readFailure() const { return TUError{"Failed to read from the file " + path_}; }

private:
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// Copies the source to the remote path to with mode 0640. Returns only when the
// remote receiver has confirmed that it stored the whole file; throws TUError
// otherwise, naming address (the session's) when the link broke.
void scpUpload(remote::SessionState& st, UploadSource& from, const std::string& to,
               const std::string& address);

}  // namespace fieldkeep
