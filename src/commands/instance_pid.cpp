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
// the process's own working directory.
const char kInstancePidFunction[] = R"SCRIPT(instance_pid()
{
	[ -f "$1" ] && [ ! -h "$1" ] || return 0
	IPID= FK_REST= FK_MORE=
	{ IFS=' 	' read -r IPID FK_REST; IFS=' 	' read -r FK_MORE; } 2>/dev/null <"$1"
	IPID=${IPID%[[:space:]]} FK_REST=${FK_REST%[[:space:]]} FK_MORE=${FK_MORE%[[:space:]]}
	[ -z "$FK_REST$FK_MORE" ] || return 0
	case $IPID in
	''|*[!0-9]*|0*|1) return 0 ;;
	esac
	if [ -d /proc/self ]; then
		process_uids /proc/self/status && FK_U=$FK_RUID && process_uids /proc/$IPID/status &&
			[ "$FK_RUID $FK_EUID $FK_SUID" = "$FK_U $FK_U $FK_U" ] || return 0
		tr '\000' '\n' 2>/dev/null </proc/$IPID/cmdline | {
			PREV=
			while IFS= read -r ARG; do
				if [ "$PREV" = @INSTANCEARG@ ]; then
					same_path "$ARG" . && exit 0
				fi
				same_path "$ARG" start.sh && exit 0
				PREV=$ARG
			done
			exit 1
		} || return 0
	fi
	echo $IPID
}

same_path()
{
	case $1 in
	/*) [ "$1" -ef "$2" ] ;;
	*) [ "/proc/$IPID/cwd/$1" -ef "$2" ] ;;
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
