// --send: writes one line into the running server's console pipe. The line
// travels on the remote command's standard input, since console lines can
// carry admin passwords and a command line is visible to every user.
#include "commands/send.h"

#include "commands/commands.h"
#include "commands/instance_pid.h"
#include "commands/options.h"
#include "errors/uerror.h"
#include "remote/runner.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

// Only a pipe of a running server is written, opened without O_CREAT, O_TRUNC
// or following a symbolic link, so that a path gone or replaced meanwhile is
// never made a plain file nor leads elsewhere. dd gathers the input
// (up to 64 KiB) and passes it on in one write, which a pipe takes whole or not
// at all (up to PIPE_BUF bytes); that write blocks while the pipe is full, so a
// server that does not read within five seconds ends it.
const char kSendScript[] = R"SCRIPT(CFGDIR=@CFGDIR@
[ -n "`instance_pid $CFGDIR/server.pid $CFGDIR`" ] && [ -p $CFGDIR/server-stdin ] || exit 3
timeout 5 dd of=$CFGDIR/server-stdin bs=65536 iflag=fullblock oflag=nofollow \
	conv=nocreat,notrunc 2>/dev/null && exit 0
[ $? = 124 ] && exit 4
exit 3
)SCRIPT";

constexpr int kNotRunning = 3;
constexpr int kNotReading = 4;

}  // namespace

void sendConsoleLine(RemoteRunner& host, const std::string& cfgDir, const std::string& line) {
    const std::string script = fillShellTemplate(kSendScript, {{"CFGDIR", cfgDir}});
    const int status = host.exec(kInstancePidFunction + script, line + "\n", false).status;
    if (status == kNotRunning) {
        throw TUError{"Server is not running"};
    }
    if (status == kNotReading) {
        throw TUError{"Server is not reading its console"};
    }
}

bool sendLine(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string cfgDir = requiredValue(options, "cfg-dir");
    const std::string line = requiredValue(options, "line");
    options.check();
    requireAbsolutePlainPath(cfgDir, "cfg-dir");
    requireSingleLine(line, "line");
    host.connect();
    sendConsoleLine(host, cfgDir, line);
    return true;
}

}  // namespace fieldkeep
