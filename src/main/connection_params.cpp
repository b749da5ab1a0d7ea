#include "main/connection_params.h"

#include <cstdlib>

#include "commands/options.h"
#include "errors/uerror.h"
#include "remote/connection.h"

namespace fieldkeep {

void readConnectionParams(talvor::opt::TOParsing options) {
    connAddress = requiredValue(options, "address");
    connLogin = requiredValue(options, "login");
    connPassword = std::getenv("BF1942_PASSWD");
    if (connPassword == nullptr) {
        throw TUError{"Password is not set"};
    }
    // Set to the empty string, the variable pins nothing, as if it were unset.
    const char* knownHosts = std::getenv("BF1942_KNOWN_HOSTS");
    connKnownHosts = knownHosts != nullptr && *knownHosts != '\0' ? knownHosts : nullptr;
}

}  // namespace fieldkeep
