// --check-on-root: whether the remote login is the superuser.
#include "commands/host_checks.h"

#include "commands/commands.h"
#include "errors/output.h"
#include "remote/connection.h"
#include "remote/runner.h"

namespace fieldkeep {

bool namesSuperuser(const std::string& idOutput) { return idOutput == "0\n" || idOutput == "0"; }

bool checkOnRoot(talvor::opt::TOParsing options) {
    options.check();
    connectRemote();
    const RemoteResult id = hostRunner().runOrThrow("id -u", "Execute 'id' failed");
    writeLine(namesSuperuser(id.output) ? "root" : "not root");
    return true;
}

}  // namespace fieldkeep
