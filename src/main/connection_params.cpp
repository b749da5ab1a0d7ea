#include "main/connection_params.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "commands/options.h"
#include "errors/decimal.h"
#include "errors/uerror.h"
#include "main/host_address.h"
#include "remote/run_deadline.h"
#include "remote/session.h"

namespace fieldkeep {
namespace {

// Whole seconds from the environment: fallback when the variable is unset,
// else plain decimal digits of at least minimum. Values beyond about three
// years are held there rather than overflowing.
int secondsFromEnvironment(const char* name, int fallback, int minimum) {
    constexpr long long kMostSeconds = 100000000;
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return fallback;
    }
    const std::optional<long long> value =
        decimalNumber(text, kMostSeconds, std::string_view::npos, Beyond::held);
    if (!value || *value < minimum) {
        throw TUError{std::string("Incorrect ") + name};
    }
    return static_cast<int>(*value);
}

void readAddress(talvor::opt::TOParsing& options, Session& s) {
    s.address = requiredValue(options, "address");
    const std::optional<HostAddress> address = parseHostAddress(s.address);
    if (!address) {
        const talvor::opt::TOpts& given = options.opts();
        throw talvor::opt::TOParsing::TBadLOpt(*given.findLong("address"), given);
    }
    s.host = address->host;
    s.port = address->port;
}

bool readable(const char* path) {
    std::ifstream file(path, std::ios::binary);
    char first = 0;
    return static_cast<bool>(file.get(first));
}

// A key file is checked here, so that a wrong path ends the run before any
// connection is made.
void readCredentials(Session& s) {
    s.password = std::getenv("BF1942_PASSWD");
    s.keyPassphrase = std::getenv("BF1942_KEY_PASSPHRASE");
    s.identity = std::getenv("BF1942_IDENTITY");
    if (s.identity != nullptr && *s.identity == '\0') {
        s.identity = nullptr;  // an empty value counts as unset
    }
    if (s.password == nullptr && s.identity == nullptr) {
        throw TUError{"Password is not set"};
    }
    if (s.identity != nullptr && std::strcmp(s.identity, kAgentIdentity) != 0 &&
        !readable(s.identity)) {
        throw TUError{std::string("Cannot read identity file ") + s.identity};
    }
}

}  // namespace

Session readConnectionParams(talvor::opt::TOParsing options) {
    Session s;
    readAddress(options, s);
    s.login = requiredValue(options, "login");
    readCredentials(s);
    // Set to the empty string, the variable pins nothing, as if it were unset.
    const char* knownHosts = std::getenv("BF1942_KNOWN_HOSTS");
    s.knownHosts = knownHosts != nullptr && *knownHosts != '\0' ? knownHosts : nullptr;
    s.connectTimeout = secondsFromEnvironment("BF1942_CONNECT_TIMEOUT", kDefaultConnectTimeout, 1);
    s.aliveInterval = secondsFromEnvironment("BF1942_ALIVE_INTERVAL", kDefaultAliveInterval, 0);
    s.runClock = remote::RunClock(secondsFromEnvironment("BF1942_RUN_TIMEOUT", 0, 0));
    return s;
}

}  // namespace fieldkeep
