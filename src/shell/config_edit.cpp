#include "shell/config_edit.h"

#include "shell/quoting.h"

namespace fieldkeep {

// The keys, values and blank flags reach awk as K1, V1, B1, ... in its
// environment. awk writes FILE.pre: each line that sets a key gets that key's
// value (or is emptied), the last line keeps its line end or the lack of one
// (T: its last byte when that is no line feed), and each key no line set and
// not blanked is appended. With FK_QUAKE set, a line may set a key after
// set, seta, sets or setu, and an appended one starts with seta. FILE.pre is
// created afresh, owner-only (umask, set -C), and replaces FILE; a failed
// rewrite removes it. A missing FILE reads as an empty one, but blanking a key there fails, unless
// a key set before it would have created the file.
const char kEditSettingsFunction[] = R"SH(edit_settings()
{
	umask 077
	set -C
	F=$1
	shift
	I=0
	FK_NEW=
	while [ $# -ge 3 ]; do
		I=$((I + 1))
		eval "export K$I=\"\$1\" V$I=\"\$2\" B$I=\"\$3\""
		if [ ! -f "$F" ] && [ -z "$FK_NEW" ]; then
			[ -z "$3" ] || { echo "$F: No such file" >&2; return $I; }
			FK_NEW=$I
		fi
		shift 3
	done
	export FK_N=$I T
	[ ! -L "$F" ] && [ ! -L "$F.pre" ] || return 1
	[ ! -e "$F.pre" ] || rm -f "$F.pre" || return 1
	if [ -f "$F" ]; then
		T=`tail -c 1 "$F"` || return 1
		FK_IN=$F
	else
		FK_IN=/dev/null
	fi
	awk 'BEGIN { n = ENVIRON["FK_N"]; set = ENVIRON["FK_QUAKE"] ? "(set[asu]?[[:space:]]+)?" : ""
		for (i = 1; i <= n; i++) re[i] = "^[[:space:]]*" set ENVIRON["K" i] "[[:space:]]" }
	NR > 1 { print line }
	{ line = $0
	for (i = 1; i <= n; i++) if (match($0, re[i])) {
		done[i] = 1; line = ENVIRON["B" i] ? "" : substr($0, 1, RLENGTH) ENVIRON["V" i]; break } }
	END { if (NR) printf "%s%s", line, (ENVIRON["T"] == "" ? "\n" : "")
	for (i = 1; i <= n; i++) if (!done[i] && !ENVIRON["B" i])
		printf "\n%s%s %s\n", (set ? "seta " : ""), ENVIRON["K" i], ENVIRON["V" i] }' \
		"$FK_IN" >"$F.pre" && mv -f "$F.pre" "$F" && return
	rm -f "$F.pre"
	return 1
}
)SH";

std::string makeEditSettingsCommand(const std::string& file, const std::vector<SettingEdit>& edits,
                                    bool quake) {
    std::string command =
        (quake ? "FK_QUAKE=1 edit_settings " : "edit_settings ") + shellQuote(file);
    for (const SettingEdit& edit : edits) {
        command += " " + shellQuote(edit.key) + " " + shellQuote(edit.value) + " " +
                   (edit.blank ? "1" : "''");
    }
    return command;
}

}  // namespace fieldkeep
