#include "shell/config_edit.h"

#include "shell/quoting.h"

namespace fieldkeep {

// awk rewrites FILE into FILE.pre: each line "<white space>KEY<one white space>..."
// keeps all up to that separator and gets the value V (blank B: the line is
// emptied); the last line keeps its line end or the lack of one (T). S is 3 when
// the file is missing or no line set the key. FILE.pre is created afresh,
// owner-only (umask, set -C), and replaces FILE; a failed rewrite removes it.
// The appended line is printed by awk too: a printf that is no builtin of the
// shell would take the value as an argument.
const char kEditOptionFunction[] = R"SH(edit_option()
{
	umask 077
	set -C
	F=$1
	export K="$2" V="$3" B="$4" T
	[ ! -L "$F" ] && [ ! -L "$F.pre" ] && rm -f "$F.pre" || return 1
	S=3
	if [ -f "$F" ]; then
		chmod 600 "$F" && T=`tail -c 1 "$F" | wc -l` || return 1
		awk 'BEGIN { re = "^[[:space:]]*" ENVIRON["K"] "[[:space:]]" }
		NR > 1 { print line }
		{ line = $0 }
		match($0, re) { n++; line = ENVIRON["B"] ? "" : substr($0, 1, RLENGTH) ENVIRON["V"] }
		END { if (NR) printf "%s%s", line, (ENVIRON["T"] + 0 ? "\n" : ""); exit n ? 0 : 3 }' \
			"$F" >"$F.pre"
		S=$?
		[ $S = 0 ] && mv -f "$F.pre" "$F" && return
		rm -f "$F.pre"
		[ $S = 0 ] && return 1
	fi
	if [ -n "$B" ]; then
		[ -f "$F" ] || echo "$F: No such file" >&2
		[ $S = 3 ] && [ -f "$F" ]
	else
		[ $S = 3 ] && awk 'BEGIN { printf "\n%s %s\n", ENVIRON["K"], ENVIRON["V"] }' >>"$F"
	fi
}
)SH";

std::string makeSetOptionCommand(const std::string& file, const std::string& key,
                                 const std::string& value) {
    return "edit_option " + shellQuote(file) + " " + shellQuote(key) + " " + shellQuote(value) +
           " ''";
}

std::string makeDeleteOptionCommand(const std::string& file, const std::string& key) {
    return "edit_option " + shellQuote(file) + " " + shellQuote(key) + " '' 1";
}

}  // namespace fieldkeep
