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

// Reads the value of line LINE of the store into V.
const char kFetch[] = R"SH(V=`sed -n @LINE@p @STORE@` || exit 1
)SH";

// The edit runs in a subshell; the store goes when it fails or after the last edit.
std::string editLine(const std::string& edit, const std::string& store, bool last) {
    const std::string remove = "rm -f " + shellQuote(store);
    return "(\n" + edit + "\n)\nS=$?\n" + (last ? remove : "[ $S = 0 ] || " + remove) + "\nexit $S";
}

// Where the directory $D exists: COUNT lines of standard input into STORE, made
// afresh and owner-only; printf is a builtin, so no value is ever an argument.
const char kStoreValues[] = R"SH([ ! -d "$D" ] || (umask 077 && set -C && rm -f @STORE@ && I=0 &&
while [ $I -lt @COUNT@ ] && IFS= read -r L; do printf '%s\n' "$L"; I=$((I + 1)); done >@STORE@) ||
exit 1
)SH";

}  // namespace

std::string makeStoreValuesCommand(const std::string& store, std::size_t count) {
    return fillShellTemplate(kStoreValues, {{"STORE", store}, {"COUNT", std::to_string(count)}});
}

std::string makeSetOptionCommand(const std::string& file, const std::string& key,
                                 const std::string& store, std::size_t line, bool last) {
    const std::string fetch =
        fillShellTemplate(kFetch, {{"LINE", std::to_string(line)}, {"STORE", store}});
    return editLine(fetch + fillShellTemplate(std::string(kRewrite) + kAppend,
                                              {{"FILE", file}, {"KEY", key}, {"BLANK", ""}}),
                    store, last);
}

std::string makeDeleteOptionCommand(const std::string& file, const std::string& key,
                                    const std::string& store, bool last) {
    return editLine(fillShellTemplate(std::string(kRewrite) + kKeepOrFail,
                                      {{"FILE", file}, {"KEY", key}, {"BLANK", "1"}}),
                    store, last);
}

void setConfigOption(RemoteRunner& host, const std::string& file, const std::string& key,
                     const std::string& store, std::size_t line, bool last) {
    host.runOrThrow(makeSetOptionCommand(file, key, store, line, last),
                    "Set option '" + key + "' failed in " + file);
}

void deleteConfigOption(RemoteRunner& host, const std::string& file, const std::string& key,
                        const std::string& store, bool last) {
    host.runOrThrow(makeDeleteOptionCommand(file, key, store, last),
                    "Delete option '" + key + "' failed in " + file);
}

}  // namespace fieldkeep
