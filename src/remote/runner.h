// The seam between the commands and the host: a command reaches the host only
// through a RemoteRunner (connecting, every remote line, the streaming run of
// --exec, uploads), so that a test can pass a fake host and check which steps a
// command takes, in which order, and what it decides.
#pragma once

#include <memory>
#include <string>

#include "remote/exec.h"
#include "remote/output_sink.h"
#include "remote/session.h"
#include "remote/upload.h"

namespace fieldkeep {

class RemoteRunner {
public:
    RemoteRunner();
    virtual ~RemoteRunner();
    RemoteRunner(const RemoteRunner&) = delete;
    RemoteRunner& operator=(const RemoteRunner&) = delete;

    // Connects and logs in; throws TUError with the reason.
    virtual void connect() = 0;
    // Ends the connection, in whatever state it is.
    virtual void disconnect() noexcept = 0;

    // Runs line with input on its standard input, on a pseudo-terminal when usePty.
    virtual RemoteResult exec(const std::string& line, const std::string& input, bool usePty) = 0;

    // Runs line with input, passing its standard output on to sink as it arrives,
    // then its standard error; returns its status. Throws ConnectionLost after
    // passing on what arrived when the link breaks.
    virtual int execStreaming(const std::string& line, const std::string& input,
                              const OutputSink& sink) = 0;

    // Copies from to the remote path to; returns once the host confirmed it.
    virtual void upload(UploadSource& from, const std::string& to) = 0;

    // Where the run connects and as whom: set by the entry point before any
    // command runs, read by the connection and by commands that name the login.
    Session& session() { return session_; }

    // The state of the run's connection, handed to each step of the remote
    // layer; never connected in a fake host.
    remote::SessionState& connection() { return *connection_; }
    const remote::SessionState& connection() const { return *connection_; }

    // Runs line with empty input and no terminal.
    RemoteResult run(const std::string& line) { return exec(line, "", false); }

    // Runs line with empty input, on a pseudo-terminal when usePty; throws TUError
    // "FAILURE: ERRORS" with the line's error text when its status is not 0.
    RemoteResult runOrThrow(const std::string& line, const std::string& failure,
                            bool usePty = false);

    // Writes text to a remote file with "cat >", the text as the line's standard
    // input; target is the path as the shell takes it, already quoted. Throws
    // TUError "FAILURE: ERRORS" when that fails.
    void writeFile(const std::string& target, const std::string& text, const std::string& failure);

private:
    Session session_;
    std::unique_ptr<remote::SessionState> connection_;
};

// A real host for one run, through connection.h, exec.h and upload.h.
std::unique_ptr<RemoteRunner> makeHostRunner();

}  // namespace fieldkeep
