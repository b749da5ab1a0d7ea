#include "commands/instance_pid.h"

#include "shell/quoting.h"

namespace fieldkeep {

// The user ids of a process, read by the shell itself: no process is started for them.
const char kProcessUidsFunction[] = R"SCRIPT(process_uids()
{
	while read -r FK_KEY FK_RUID FK_EUID FK_SUID FK_REST; do
		[ "$FK_KEY" = Uid: ] && return 0
	done 2>/dev/null <"$1"
	return 1
}
)SCRIPT";

namespace {

// Only a regular file is read: a pipe planted there would hold the run. kill
// would take -1 or 0 for whole groups of processes and expand a pattern, so
// only a plain number passes; the shell reads it itself: alone on the first
// line, blanks and a DOS line end around it, nothing on the second. After a
// reboot or a killed wrapper the number may have been given to an unrelated
// process: /proc tells whose it is (its real, effective and saved user must
// all be the script's own, so that a set-user-ID program that another account
// started with arguments of its choice does not pass) and what it runs
// (its arguments, NUL-separated). An argument names a file of the
// configuration directory when it is the same file, a relative one taken from
// the process's own working directory. The pid is left in IPID, not printed:
// reading a function's output would cost a process of its own. The arguments
// are taken apart in the shell's own variables: a here-document would need a
// temporary file in some shells, which another account can keep from being
// made by filling /tmp, and a process with none is not the instance.
const char kInstancePidFunction[] = R"SCRIPT(instance_pid()
{
	IPID=
	[ -f "$1" ] && [ ! -h "$1" ] || return 1
	FK_P= FK_REST= FK_MORE=
	{ IFS=' 	' read -r FK_P FK_REST; IFS=' 	' read -r FK_MORE; } 2>/dev/null <"$1"
	FK_P=${FK_P%[[:space:]]} FK_REST=${FK_REST%[[:space:]]} FK_MORE=${FK_MORE%[[:space:]]}
	[ -z "$FK_REST$FK_MORE" ] || return 1
	case $FK_P in
	''|*[!0-9]*|0*|1) return 1 ;;
	esac
	if [ -d /proc/self ]; then
		process_uids /proc/self/status && FK_U=$FK_RUID && process_uids /proc/$FK_P/status &&
			[ "$FK_RUID $FK_EUID $FK_SUID" = "$FK_U $FK_U $FK_U" ] || return 1
		FK_ARGS=`tr '\000' '\n' 2>/dev/null </proc/$FK_P/cmdline`
		[ -n "$FK_ARGS" ] || return 1
		FK_PREV= FK_NL='
'
		while :; do
			FK_ARG=${FK_ARGS%%"$FK_NL"*}
			[ "$FK_PREV" = @INSTANCEARG@ ] && same_path "$FK_ARG" . && break
			same_path "$FK_ARG" start.sh && break
			[ "$FK_ARG" != "$FK_ARGS" ] || return 1
			FK_PREV=$FK_ARG FK_ARGS=${FK_ARGS#*"$FK_NL"}
		done
	fi
	IPID=$FK_P
}

same_path()
{
	case $1 in
	/*) [ "$1" -ef "$2" ] ;;
	*) [ "/proc/$FK_P/cwd/$1" -ef "$2" ] ;;
	esac
}
)SCRIPT";

}  // namespace

std::string instancePidFunctions(const GameDefinition& game) {
    return kProcessUidsFunction +
           fillShellTemplate(kInstancePidFunction, {},
                             {{"INSTANCEARG", shellWord(game.instanceArgument)}});
}

}  // namespace fieldkeep
