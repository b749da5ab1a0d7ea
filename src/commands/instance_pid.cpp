#include "commands/instance_pid.h"

namespace fieldkeep {

// Only a regular file is read: a pipe planted there would hold the run. kill
// would take -1 or 0 for whole groups of processes and expand a pattern, so
// only a plain number passes. After a reboot or a killed wrapper the number
// may have been given to an unrelated process: /proc tells whose it is (its
// real, effective and saved user alike, so that a set-user-ID program that
// another account started with arguments of its choice does not pass) and what
// it runs (its arguments, NUL-separated). An argument names a file of the
// configuration directory when it is the same file, a relative one taken from
// the process's own working directory.
const char kInstancePidFunction[] = R"SCRIPT(instance_pid()
{
	[ -f "$1" ] && [ ! -h "$1" ] || return 0
	IPID=`tr -s ' \t\r\n' '    ' <"$1" 2>/dev/null`
	IPID=${IPID# }
	IPID=${IPID% }
	case $IPID in
	''|*[!0-9]*|0*|1) return 0 ;;
	esac
	if [ -d /proc/self ]; then
		awk -v u="`id -u`" '/^Uid:/ { ok = $2 == u && $3 == u && $4 == u } END { exit !ok }' \
			/proc/$IPID/status 2>/dev/null || return 0
		tr '\000' '\n' 2>/dev/null </proc/$IPID/cmdline | {
			PREV=
			while IFS= read -r ARG; do
				if [ "$PREV" = +overlayPath ]; then
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

}  // namespace fieldkeep
