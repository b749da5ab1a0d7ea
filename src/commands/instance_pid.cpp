#include "commands/instance_pid.h"

namespace fieldkeep {

// kill would take -1 or 0 for whole groups of processes and expand a pattern,
// so only a plain number passes. After a reboot or a killed wrapper the number
// may have been given to an unrelated process: /proc tells whose it is and what
// it runs (its arguments, NUL-separated). An argument names a file of the
// configuration directory when it is the same file, a relative one taken from
// the process's own working directory.
const char kInstancePidFunction[] = R"SCRIPT(instance_pid()
{
	IPID=`tr -s ' \t\r\n' '    ' <"$1" 2>/dev/null`
	IPID=${IPID# }
	IPID=${IPID% }
	case $IPID in
	''|*[!0-9]*|0*|1) return 0 ;;
	esac
	if [ -d /proc/self ]; then
		[ "`ls -nd /proc/$IPID 2>/dev/null | awk '{ print $3 }'`" = "`id -u`" ] || return 0
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
