// --check-on-root: whether the remote login is the superuser.
#include "commands/commands.h"
#include "commands/host_checks.h"
#include "errors/output.h"
#include "remote/runner.h"

namespace fieldkeep {

bool namesSuperuser(const std::string& idOutput) {
    return idOutput == "0\n" || idOutput == "0";
}

bool checkOnRoot(talvor::opt::TOParsing options, RemoteRunner& host) {
    options.check();
    host.connect();
    const RemoteResult id = host.runOrThrow("id -u", "Execute 'id' failed");
    writeLine(namesSuperuser(id.output) ? "root" : "not root");
    return true;
}

}  // namespace fieldkeep
