#include "remote/runner.h"

#include "errors/uerror.h"
#include "remote/connection.h"
#include "remote/session_state.h"

namespace fieldkeep {
namespace {

class HostRunner : public RemoteRunner {
public:
    void connect() override { connectRemote(connection(), session()); }
    void disconnect() noexcept override { disconnectRemote(connection()); }
    RemoteResult exec(const std::string& line, const std::string& input, bool usePty) override {
        return execRemote(connection(), line, input, usePty);
    }
    int execStreaming(const std::string& line, const std::string& input,
                      const OutputSink& sink) override {
        return execRemoteStreaming(connection(), line, input, sink);
    }
    void upload(UploadSource& from, const std::string& to) override {
        scpUpload(connection(), from, to, session().address);
    }
};

const RemoteResult& requireSuccess(const RemoteResult& result, const std::string& failure) {
    if (result.status != 0) {
        throw TUError{failure + ": " + result.errors};
    }
    return result;
}

}  // namespace

RemoteRunner::RemoteRunner() : connection_(std::make_unique<remote::SessionState>()) {}

RemoteRunner::~RemoteRunner() = default;

RemoteResult RemoteRunner::runOrThrow(const std::string& line, const std::string& failure,
                                      bool usePty) {
    return requireSuccess(exec(line, "", usePty), failure);
}

void RemoteRunner::writeFile(const std::string& target, const std::string& text,
                             const std::string& failure) {
    requireSuccess(exec("cat >" + target, text, false), failure);
}

std::unique_ptr<RemoteRunner> makeHostRunner() {
    return std::make_unique<HostRunner>();
}

}  // namespace fieldkeep
