// --copy-file: uploads one local file to a remote path; prints nothing.
#include "commands/commands.h"
#include "commands/options.h"
#include "remote/connection.h"
#include "remote/upload.h"

namespace fieldkeep {

bool uploadFile(talvor::opt::TOParsing options) {
    const std::string from = requiredValue(options, "from");
    const std::string to = requiredValue(options, "to");
    options.check();
    connectRemote();
    scpUpload(from, to);
    return true;
}

}  // namespace fieldkeep
