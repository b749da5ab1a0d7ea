// --send: writes one line into the running server's console pipe. The line
// travels inside the script on the remote command's standard input, since
// console lines can carry admin passwords and a command line is visible to
// every user.
#include "commands/send.h"

#include "commands/commands.h"
#include "commands/instance_pid.h"
#include "commands/instance_script.h"
#include "commands/options.h"
#include "errors/uerror.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

// Only a pipe of a running server is written, opened without O_CREAT, O_TRUNC
// or following a symbolic link, so that a path gone or replaced meanwhile is
// never made a plain file nor leads elsewhere. dd gathers the line (up to 64
// KiB) from the script's own here-document and passes it on in one write,
// which a pipe takes whole or not at all up to PIPE_BUF bytes (4096 on Linux);
// a longer line may be taken in parts, and other writers' lines could come
// between them. The write blocks while the pipe is full, so a server that does
// not read within five seconds ends it. Only "sent" after the write tells that
// the line arrived.
const char kSendScript[] =
    R"SCRIPT(instance_pid server.pid && [ -p server-stdin ] || exit 3
@WRITE@
S=$?
[ $S = 0 ] && { echo sent; exit 0; }
[ $S = 124 ] && exit 4
exit 3
)SCRIPT";

constexpr int kNotRunning = 3;
constexpr int kNotReading = 4;

std::string makeSendBody(const GameDefinition& game, const std::string& line) {
    return instancePidFunctions(game) +
           fillShellTemplate(kSendScript, {},
                             {{"WRITE", hereDocument("timeout 5 dd of=server-stdin bs=65536 "
                                                     "iflag=fullblock oflag=nofollow "
                                                     "conv=nocreat,notrunc 2>/dev/null",
                                                     line)}});
}

}  // namespace

void sendConsoleLine(RemoteRunner& host, const GameDefinition& game, const std::string& cfgDir,
                     const std::string& line) {
    const InstanceRun run =
        runInstanceScript(host, {game, cfgDir, makeSendBody(game, line)}, "Send failed: ");
    const int status = run.result.status;
    if (!run.entered || status == kNotRunning) {
        throw TUError{"Server is not running"};
    }
    if (status == kNotReading) {
        throw TUError{"Server is not reading its console"};
    }
    if (status != 0 || run.result.output != "sent\n") {
        throw TUError{"Send failed: " + run.result.errors};
    }
}

bool sendLine(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string cfgDir = requiredValue(options, "cfg-dir");
    const std::string line = requiredValue(options, "line");
    const GameDefinition game = chosenGame(options);
    options.check();
    requireAbsolutePlainPath(cfgDir, "cfg-dir");
    requireSingleLine(line, "line");
    host.connect();
    sendConsoleLine(host, game, cfgDir, line);
    return true;
}

}  // namespace fieldkeep
