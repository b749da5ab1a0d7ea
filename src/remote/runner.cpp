#include "remote/runner.h"

#include "errors/uerror.h"

namespace fieldkeep {
namespace {

class HostRunner : public RemoteRunner {
public:
    RemoteResult exec(const std::string& line, const std::string& input, bool usePty) override {
        return execRemote(line, input, usePty);
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
