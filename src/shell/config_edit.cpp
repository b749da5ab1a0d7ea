#include "shell/config_edit.h"

#include "errors/uerror.h"
#include "shell/quoting.h"

namespace fieldkeep {
namespace {

// awk rewrites FILE into FILE.pre: each line "<white space>KEY<one white space>..."
// keeps all up to that separator and gets the value V (blank B: the line is
// emptied); the last line keeps its line end or the lack of one (T). S is 3 when
// the file is missing or no line set the key. FILE.pre is created afresh,
// owner-only (umask, set -C), and replaces FILE. The value travels in the
// environment, never in arguments; printf is a builtin of the shell.
const char kRewrite[] = R"SH(umask 077 && set -C && F=@FILE@ && export K=@KEY@ B=@BLANK@ T V
IFS= read -r V
[ ! -L "$F" ] && [ ! -L "$F.pre" ] && rm -f "$F.pre" || exit 1
S=3
if [ -f "$F" ]; then
	chmod 600 "$F" && T=`tail -c 1 "$F" | wc -l` || exit 1
	awk 'BEGIN { re = "^[[:space:]]*" ENVIRON["K"] "[[:space:]]" }
	NR > 1 { print line }
	{ line = $0 }
	match($0, re) { n++; line = ENVIRON["B"] ? "" : substr($0, 1, RLENGTH) ENVIRON["V"] }
	END { if (NR) printf "%s%s", line, (ENVIRON["T"] + 0 ? "\n" : ""); exit n ? 0 : 3 }' \
		"$F" >"$F.pre"
	S=$?
	[ $S = 0 ] && { mv -f "$F.pre" "$F"; exit; }
	rm -f "$F.pre"
fi
)SH";

// No line set the key, or the file is missing: the setting is appended after a
// line feed that completes an unfinished last line. Blanking a key that no line
// sets leaves the file as it was; a missing file fails.
const char kAppend[] = R"([ $S = 3 ] && printf '\n%s %s\n' "$K" "$V" >>"$F")";
const char kKeepOrFail[] = R"([ -f "$F" ] || printf '%s: No such file\n' "$F" >&2
[ $S = 3 ] && [ -f "$F" ])";

}  // namespace

std::string makeSetOptionCommand(const std::string& file, const std::string& key) {
    return fillShellTemplate(std::string(kRewrite) + kAppend,
                             {{"FILE", file}, {"KEY", key}, {"BLANK", ""}});
}

std::string makeDeleteOptionCommand(const std::string& file, const std::string& key) {
    return fillShellTemplate(std::string(kRewrite) + kKeepOrFail,
                             {{"FILE", file}, {"KEY", key}, {"BLANK", "1"}});
}

void setConfigOption(RemoteRunner& host, const std::string& file, const std::string& key,
                     const std::string& value) {
    const RemoteResult result = host.exec(makeSetOptionCommand(file, key), value + "\n", false);
    if (result.status != 0) {
        throw TUError{"Set option '" + key + "' failed in " + file + ": " + result.errors};
    }
}

void deleteConfigOption(RemoteRunner& host, const std::string& file, const std::string& key) {
    host.runOrThrow(makeDeleteOptionCommand(file, key),
                    "Delete option '" + key + "' failed in " + file);
}

}  // namespace fieldkeep
