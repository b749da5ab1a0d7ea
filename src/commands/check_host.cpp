// --check-host: whether the host runs Linux on a processor the game server
// supports, judged from "uname -a".
#include "commands/commands.h"
#include "commands/host_checks.h"
#include "errors/output.h"
#include "errors/shown_text.h"
#include "remote/runner.h"

namespace fieldkeep {
namespace {

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

std::string hostCheckReport(const RemoteResult& uname) {
    const std::string& line = uname.output;
    const bool suitable =
        uname.status == 0 && contains(line, "Linux") &&
        (contains(line, "i586") || contains(line, "i686") || contains(line, "x86_64"));
    return suitable ? "suitable\n" : "unsuitable\nuname: " + shownText(line);
}

bool checkHost(talvor::opt::TOParsing options, RemoteRunner& host) {
    options.check();
    host.connect();
    writeOut(hostCheckReport(host.run("uname -a")));
    return true;
}

}  // namespace fieldkeep
