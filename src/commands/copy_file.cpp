// --copy-file: uploads one local file to a remote path; prints nothing.
#include "commands/commands.h"
#include "commands/options.h"
#include "remote/runner.h"
#include "remote/upload.h"
#include "shell/value_checks.h"

namespace fieldkeep {

// The remote receiver takes the destination on its command line and names the
// file in a protocol line: a leading '-' would be one of its options, a line
// break would end that line early.
bool uploadFile(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string from = requiredValue(options, "from");
    const std::string to = requiredValue(options, "to");
    options.check();
    requireSingleLine(to, "to");
    requireNoLeadingDash(to, "to");
    UploadSource source(from);
    host.connect();
    host.upload(source, to);
    return true;
}

}  // namespace fieldkeep
