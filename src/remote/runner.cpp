#include "remote/runner.h"

#include "errors/uerror.h"
#include "remote/connection.h"

namespace fieldkeep {
namespace {

class HostRunner : public RemoteRunner {
public:
    void connect() override { connectRemote(session()); }
    void disconnect() noexcept override { disconnectRemote(); }
    RemoteResult exec(const std::string& line, const std::string& input, bool usePty) override {
        return execRemote(line, input, usePty);
    }
    int execStreaming(const std::string& line, const std::string& input,
                      const OutputSink& sink) override {
        return execRemoteStreaming(line, input, sink);
    }
    void upload(UploadSource& from, const std::string& to) override {
        scpUpload(from, to, session().address);
    }
};

const RemoteResult& requireSuccess(const RemoteResult& result, const std::string& failure) {
    if (result.status != 0) {
        throw TUError{failure + ": " + result.errors};
    }
    return result;
}

}  // namespace

RemoteResult RemoteRunner::runOrThrow(const std::string& line, const std::string& failure,
                                      bool usePty) {
    return requireSuccess(exec(line, "", usePty), failure);
}

void RemoteRunner::writeFile(const std::string& target, const std::string& text,
                             const std::string& failure) {
    requireSuccess(exec("cat >" + target, text, false), failure);
}

RemoteRunner& hostRunner() {
    static HostRunner host;
    return host;
}

}  // namespace fieldkeep
