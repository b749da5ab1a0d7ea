#include "commands/instance_script.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "commands/instance_pid.h"
#include "errors/uerror.h"
#include "shell/quoting.h"

namespace fieldkeep {
// look_here OWNER EXTRA checks the directory held against its path, PWD, and
// sets FK_UNSAFE to the first directory, from / down to PWD, then EXTRA in it
// when that exists, that another account could change: one writable by its
// group or others, or owned by an account other than root and OWNER (OWNER
// empty: the current directory's owner, left in FK_OWNER). A sticky directory
// above (as /tmp, where others rename only what they own) passes; the current
// one and EXTRA must not be sticky and writable, nor carry an access list.
// The directories looked at are the held one's own parents, reached through
// "..", never through a name: each name of PWD, looked up in the parent, must
// lead to the very directory below it (test -ef: device and inode), and the
// last parent must be /, or FK_WHY is dirlink. Some shells work PWD out from a
// path rather than ask the kernel, and inode numbers repeat across file
// systems: only this ties the path to the directory held. One ls lists them
// all, one line each (-q), in the order given ("." and "../.." sort before
// what they start); the shell takes its lines and fields apart in its own
// variables, so no other process starts and no temporary file is needed (a
// here-document needs one in some shells, which a full /tmp would refuse). A
// listing short of a line (a path too long for the system) cannot be checked
// (FK_WHY unchecked).
const char kLookHere[] = R"SH(look_here()
{
	FK_O=$1 FK_E=$2 FK_A= FK_R=$PWD FK_UNSAFE= FK_N= FK_WHY= FK_DN=. FK_UPS=.
	FK_R=${FK_R#/}
	set -- /
	while [ -n "$FK_R" ]; do
		FK_A=$FK_A/${FK_R%%/*}
		set -- "$@" "$FK_A"
		case $FK_R in */*) FK_R=${FK_R#*/} ;; *) FK_R= ;; esac
	done
	FK_X=$# FK_Y=$(($# + 1)) FK_I=$#
	while [ "$FK_I" -gt 1 ]; do
		eval "FK_C=\${$FK_I}"
		case $FK_DN in .) FK_UP=.. ;; *) FK_UP=$FK_DN/.. ;; esac
		[ "$FK_UP/${FK_C##*/}" -ef "$FK_DN" ] || FK_WHY=dirlink
		FK_UPS="$FK_UPS $FK_UP" FK_DN=$FK_UP FK_I=$((FK_I - 1))
	done
	[ "$FK_DN" -ef / ] || FK_WHY=dirlink
	[ -z "$FK_WHY" ] || return 0
	FK_R=
	[ -z "$FK_E" ] || [ ! -e "$FK_E" ] || { FK_R=./$FK_E; set -- "$@" "$FK_A/$FK_E"; }
	FK_L=`LC_ALL=C ls -ndq $FK_UPS ${FK_R:+"$FK_R"} 2>/dev/null`
	FK_I=0 FK_NL='
'
	while [ -n "$FK_L" ]; do
		FK_M=${FK_L%%"$FK_NL"*}
		case $FK_L in *"$FK_NL"*) FK_L=${FK_L#*"$FK_NL"} ;; *) FK_L= ;; esac
		set -f
		listed_fields $FK_M
		set +f
		FK_I=$((FK_I + 1)) FK_B= FK_EDGE=
		[ "$FK_I" != 1 ] || FK_O=${FK_O:-$FK_U}
		[ "$FK_I" = 1 ] || [ "$FK_I" = "$FK_Y" ] && FK_EDGE=1
		case $FK_M in
		?????w*|????????w*)
			case $FK_M in ?????????[tT]*) [ -n "$FK_EDGE" ] ;; esac && FK_B=1 ;;
		esac
		case $FK_M in *+) [ -z "$FK_EDGE" ] || FK_B=1 ;; esac
		[ "$FK_U" = 0 ] || [ "$FK_U" = "$FK_O" ] || FK_B=1
		[ -z "$FK_B" ] || if [ "$FK_I" -le "$FK_X" ]; then
			FK_N=$((FK_X + 1 - FK_I))
		else
			FK_N=${FK_N:-$FK_Y}
		fi
	done
	[ "$FK_I" = $# ] && [ -n "$FK_O" ] || { FK_WHY=unchecked; return 0; }
	FK_OWNER=$FK_O
	[ -z "$FK_N" ] || eval "FK_UNSAFE=\${$FK_N}"
}
listed_fields()
{
	FK_M=$1 FK_K=$2 FK_U=$3
}

)SH";

// enter PATH holds the directory PATH names. An absolute PATH without ".."
// takes one cd -P, kept when the PWD it sets (as pwd -P would print it, with
// no process started to ask) is PATH without its empty and "." names;
// any other outcome (a link on the way, a missing name) takes walk, which
// decides and says why. PWD is then the path taken (PATH, or walk's FK_HERE),
// which look_here ties to the directory held and whose owner it finds.
//
// walk PATH enters PATH one name at a time from /, always from the directory
// it holds, never by a path: a name that is a symbolic link is followed only
// when root made it in a directory that only root can change (a system's /home
// that points elsewhere), by entering its target the same way; any other name
// must lead to a directory whose parent is the one it was entered from (FK_H,
// its inode number; / needs no look) and whose entry there, looked at without
// following it, is that very directory (one ls of the three, whose fields the
// shell splits): a name swapped for a
// link meanwhile is caught, whatever it points to. ".." only in such a link's
// target, where the directory entered decides it. FK_HERE is the path taken,
// links replaced by their targets. On failure FK_WHY is "missing" (the shell
// said why on standard error) or "dirlink".
const char kEnterFunction[] = R"SH(FK_DEPTH=0
enter()
{
	FK_N= FK_UP= FK_HERE=
	case $1 in /*)
		set -f
		IFS=/
		for FK_C in $1; do
			case $FK_C in ''|.) ;; ..) FK_UP=1 ;; *) FK_N=$FK_N/$FK_C ;; esac
		done
		unset IFS
		set +f
		if [ -z "$FK_UP" ] && cd -P "${FK_N:-/}" 2>/dev/null; then
			[ "$PWD" = "${FK_N:-/}" ] && return 0
		fi ;;
	esac
	walk "$1" && PWD=${FK_HERE:-/}
}
walk()
{
	case $1 in /*) cd / && FK_H=/ FK_HERE= || return 1 ;; esac
	FK_WHY=dirlink
	[ "$FK_DEPTH" -lt 8 ] || return 1
	set -f
	IFS=/
	set -- $1
	unset IFS
	set +f
	for FK_C; do
		[ -n "$FK_C" ] && [ "$FK_C" != . ] || continue
		if [ "$FK_C" = .. ]; then
			[ "$FK_DEPTH" -gt 0 ] && cd -P .. || return 1
			FK_H=`ls -ndi . | awk '{ print $1 }'` FK_HERE=${FK_HERE%/*}
		elif [ -L "$FK_C" ]; then
			LC_ALL=C ls -ndq . "./$FK_C" | awk '$3 != 0 ||
				NR == 1 && (substr($1, 6, 1) == "w" || substr($1, 9, 1) == "w") { bad = 1 }
				END { exit bad || NR != 2 }' || return 1
			FK_T=`readlink "$FK_C"` && FK_DEPTH=$((FK_DEPTH + 1)) && walk "$FK_T" || return 1
			FK_DEPTH=$((FK_DEPTH - 1))
		else
			cd -P "./$FK_C" || { FK_WHY=missing; return 1; }
			set -f
			set -- `LC_ALL=C ls -ndiq . .. "../$FK_C"`
			set +f
			[ $# = 30 ] && [ "${21}" = "$1" ] && { [ "$FK_H" = / ] || [ "${11}" = "$FK_H" ]; } ||
				return 1
			case ${22} in d*) ;; *) return 1 ;; esac
			FK_H=$1 FK_HERE=$FK_HERE/$FK_C
		fi
	done
}
)SH";

namespace {

// The most of the guard's line, and of what follows a refusal, that is kept.
constexpr std::size_t kGuardLineLimit = 4096;

// The guard, run by the login's /bin/sh. It enters the configuration
// directory (see enter) and refuses, with one line on standard output:
// - a symbolic link on the way that root did not make in a directory that only
//   root can change: another account's link could lead the run into a
//   directory of its choice, and the directory's own owner could point it
//   elsewhere between two runs (dirlink);
// - a directory that another account owns, unless the login is root (owner);
// - a symbolic link among the files the runs and the wrapper write, read or
//   signal through (link NAME);
// - the directory, its settings/ or a directory above that another account
//   could change (unsafe PATH, see look_here), or one it cannot check
//   (unchecked);
// and for --start the checks of the server directory. Then, held in the
// directory, it runs the body there (see kRunBody): as itself on its own
// directories, as the owner on another account's with a new /bin/sh (runuser,
// setpriv or su; act NAME when none works or the owner's number has no name of
// its own).
const char kGuard[] = R"SH(umask 077
enter @CFGDIR@ || { [ "$FK_WHY" = missing ] && echo missing || echo refused dirlink; exit 1; }
@SERVERDIR@process_uids /proc/self/status && U=$FK_EUID || U=`id -u`
look_here '' @SETTINGSDIR@
[ -z "$FK_WHY" ] || { echo "refused $FK_WHY"; exit 1; }
O=$FK_OWNER
[ "$U" = 0 ] || [ "$O" = "$U" ] || { echo refused owner; exit 1; }
for N in @GUARDED@; do
	[ -L "$N" ] && { echo "refused link $N"; exit 1; }
done
[ -z "$FK_UNSAFE" ] || { printf 'refused unsafe %s\n' "$FK_UNSAFE"; exit 1; }
@SERVERSAFE@set -- /bin/sh -s
if [ "$O" != "$U" ]; then
	N=`ls -ld . | awk '{ print $3 }'`
	if [ "`id -u "$N" 2>/dev/null`" != "$O" ]; then
		:
	elif command -v runuser >/dev/null 2>&1; then
		set -- runuser -u "$N" -- /bin/sh -s
	elif command -v setpriv >/dev/null 2>&1; then
		set -- setpriv --reuid="$O" --regid="`id -g "$N"`" --init-groups -- /bin/sh -s
	elif command -v su >/dev/null 2>&1; then
		set -- su -s /bin/sh "$N"
	fi
	[ "$1" != /bin/sh ] || { printf 'refused act %s\n' "$N"; exit 1; }
fi
)SH";

// --start: the server directory is another than the held one, as the host sees
// it (a link, a bind mount, /proc/self/root/...). The launcher runs with the
// owner's rights, so the server directory is entered as the configuration
// directory is, and every directory above it and every file in it (links
// aside) must be safe from other accounts as look_here says: no other
// account can change what the wrapper finds there later. A missing one fails
// as a missing launcher does.
const char kSameDirectory[] = R"SH([ @OTHERDIR@ -ef . ] && { echo refused same; exit 1; }
)SH";
const char kServerDirectorySafe[] =
    R"SH(N=$(enter @OTHERDIR@ >/dev/null 2>&1 || { echo "$FK_WHY"; exit; }
	look_here "$O" @LAUNCHER@
	[ -z "$FK_WHY" ] || { echo "$FK_WHY"; exit; }
	F=$FK_UNSAFE
	[ -n "$F" ] || { F=`find . ! -type l \( -perm -g+w -o -perm -o+w \) -print -o \
		\( ! -user 0 ! -user "$O" \) -print 2>/dev/null | head -n 1` && F=${F:+$PWD${F#.}}; }
	echo "${F:-ok}")
case $N in
ok) ;;
missing) echo refused nolauncher; exit 1 ;;
dirlink) echo refused srvlink; exit 1 ;;
unchecked) echo refused srvunchecked; exit 1 ;;
*) printf 'refused srvunsafe %s\n' "$N"; exit 1 ;;
esac
)SH";

// The body, on its here-document: read by this very shell when it acts as
// itself (a new one would cost a process), with no positional parameters, as
// a shell of its own would have; else by the shell that the guard set up to
// act as the owner. The body's own first line answers "ok": a body that never
// started (a here-document that a full /tmp kept from being made, an owner's
// shell that could not be started) answers nothing, and the run reports the
// host's words instead of a success.
const char kRunBody[] =
    R"SH(if [ "$1" = /bin/sh ] && [ -r /dev/stdin ]; then set --; . /dev/stdin; else exec "$@"; fi)SH";

// A body's steps: each runs in a subshell with its error output held, so that a
// failure reports only its own, and reads no input: the shell reads the rest of
// the script from there.
const char kStepFunction[] = R"SH(step()
{
	FK_ERRORS=$(eval "$2" </dev/null 2>&1 >/dev/null) && return 0
	echo "failed $1 $?"
	[ -z "$FK_ERRORS" ] || cat >&2 <<FK_ERRORS_END
$FK_ERRORS
FK_ERRORS_END
	exit 1
}
)SH";

// The first line the guard printed, and what follows it.
std::pair<std::string, std::string> guardAnswer(const std::string& output) {
    const std::size_t end = output.find('\n');
    if (end == std::string::npos) {
        return {output, ""};
    }
    return {output.substr(0, end), output.substr(end + 1)};
}

// Throws the refusal the guard printed; returns whether the directory was entered.
bool checkGuardAnswer(const std::string& answer, const InstanceScript& script,
                      const RemoteResult& result, const std::string& unanswered,
                      const Session& session) {
    const std::string prefix = "Configuration directory " + script.cfgDir;
    // The words after "refused KIND ", when the guard refused so.
    const auto refusal = [&answer](const std::string& kind) -> std::optional<std::string> {
        const std::string head = "refused " + kind;
        if (answer.compare(0, head.size(), head) != 0) {
            return std::nullopt;
        }
        return answer.substr(std::min(answer.size(), head.size() + 1));
    };
    if (answer == "ok") {
        return true;
    }
    if (answer == "missing") {
        return false;
    }
    if (refusal("same")) {
        throw TUError{"Server and configuration directories must differ"};
    }
    if (refusal("owner")) {
        throw TUError{prefix + " is not owned by " + session.login};
    }
    if (refusal("dirlink")) {
        throw TUError{prefix + " holds a symbolic link: " + script.cfgDir};
    }
    if (const auto name = refusal("link")) {
        throw TUError{prefix + " holds a symbolic link: " + *name};
    }
    if (refusal("unchecked")) {
        throw TUError{prefix + " cannot be checked"};
    }
    if (const auto path = refusal("unsafe")) {
        throw TUError{prefix + " is not safe: " + *path + " is writable by other accounts"};
    }
    if (refusal("nolauncher")) {
        throw TUError{"Test on exec server failed"};
    }
    if (refusal("srvlink")) {
        throw TUError{"Server directory " + script.otherDir +
                      " holds a symbolic link: " + script.otherDir};
    }
    if (refusal("srvunchecked")) {
        throw TUError{"Server directory " + script.otherDir + " cannot be checked"};
    }
    if (const auto path = refusal("srvunsafe")) {
        throw TUError{"Server directory " + script.otherDir + " is not safe: " + *path +
                      " is writable by other accounts"};
    }
    if (const auto owner = refusal("act")) {
        throw TUError{"Cannot act as " + *owner + " on " + session.address};
    }
    // No guard ran: the first line of the host's own words is the reason.
    const std::string& words = result.errors.empty() ? answer : result.errors;
    throw TUError{unanswered + words.substr(0, words.find('\n'))};
}

// The directory of the game's first settings file; "" when it lies in the
// configuration directory itself.
std::string settingsDirectory(const GameDefinition& game) {
    const std::string& path = game.settings.empty() ? "" : game.settings.front().path;
    return path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
}

// The names that must not be symbolic links, as shell words: the settings
// directories, each settings file and the new one that replaces it, and the
// instance's files.
std::string guardedNames(const GameDefinition& game) {
    std::vector<std::string> names;
    for (const GameSettingsFile& file : game.settings) {
        const std::size_t slash = file.path.rfind('/');
        if (slash != std::string::npos &&
            std::find(names.begin(), names.end(), file.path.substr(0, slash)) == names.end()) {
            names.push_back(file.path.substr(0, slash));
        }
    }
    for (const GameSettingsFile& file : game.settings) {
        names.insert(names.end(), {file.path, file.path + ".pre"});
    }
    names.insert(names.end(), game.instanceFiles.begin(), game.instanceFiles.end());
    return shellWords(names);
}

}  // namespace

std::string makeInstanceScript(const InstanceScript& script) {
    const std::vector<ShellWord> dirs = {{"OTHERDIR", script.otherDir},
                                         {"LAUNCHER", script.game.launcher}};
    const bool start = !script.otherDir.empty();
    const std::string settings = settingsDirectory(script.game);
    // One pass: no value inserted is searched for placeholders again.
    const std::string guard = fillShellTemplate(
        kGuard, {{"CFGDIR", script.cfgDir}},
        {{"SERVERDIR", start ? fillShellTemplate(kSameDirectory, dirs) : ""},
         {"GUARDED", guardedNames(script.game)},
         {"SETTINGSDIR", settings.empty() ? "''" : shellWord(settings)},
         {"SERVERSAFE", start ? fillShellTemplate(kServerDirectorySafe, dirs) : ""}});
    return "{\n" + std::string(kLookHere) + kEnterFunction + kProcessUidsFunction + guard +
           hereDocument(kRunBody, "echo ok\n" + script.body) + "\n}\n";
}

InstanceRun runInstanceScript(RemoteRunner& host, const InstanceScript& script,
                              const std::string& unanswered) {
    RemoteResult result = host.exec("/bin/sh -s", makeInstanceScript(script), false);
    auto [answer, rest] = guardAnswer(result.output);
    const bool entered = checkGuardAnswer(answer, script, result, unanswered, host.session());
    result.output = rest;
    return {entered, result};
}

InstanceRun streamInstanceScript(RemoteRunner& host, const InstanceScript& script,
                                 const std::string& unanswered, const OutputSink& sink) {
    // The guard's line is held until it is whole; after "ok" the body's output
    // passes on as it arrives, after anything else a bounded part of it is kept
    // as the host's error text.
    std::string answer, held;
    bool answered = false;
    const auto relay = [&](const char* data, std::size_t size) {
        std::size_t at = 0;
        for (; !answered && at < size; ++at) {
            answered = data[at] == '\n';
            if (!answered && answer.size() < kGuardLineLimit) {
                answer += data[at];
            }
        }
        if (answered && answer == "ok") {
            sink(data + at, size - at);
        } else {
            held.append(data + at, std::min(size - at, kGuardLineLimit - held.size()));
        }
    };
    RemoteResult result{host.execStreaming("/bin/sh -s", makeInstanceScript(script), relay), "",
                        held};
    const bool entered = checkGuardAnswer(answer, script, result, unanswered, host.session());
    return {entered, result};
}

void ScriptSteps::add(const std::string& command, const std::string& failure, bool withErrors) {
    add(command, std::vector<std::string>{failure}, withErrors);
}

void ScriptSteps::add(const std::string& command, const std::vector<std::string>& failures,
                      bool withErrors) {
    steps_.push_back({command, failures, withErrors});
}

void ScriptSteps::addUnchecked(const std::string& text) {
    steps_.push_back({text, {}, false});
}

std::string ScriptSteps::text() const {
    std::string text = kStepFunction;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const Step& step = steps_[i];
        text += step.failures.empty()
                    ? step.command + "\n"
                    : "step " + std::to_string(i) + " " + shellQuote(step.command) + "\n";
    }
    return text;
}

void ScriptSteps::throwFailure(const RemoteResult& result) const {
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string failed;
        std::size_t i = 0, status = 0;
        if (!(words >> failed >> i >> status) || failed != "failed" || i >= steps_.size() ||
            steps_[i].failures.empty()) {
            continue;
        }
        const Step& step = steps_[i];
        const std::string& failure =
            step.failures[status >= 1 && status <= step.failures.size() ? status - 1 : 0];
        throw TUError{failure + (step.withErrors ? ": " + result.errors : "")};
    }
}

}  // namespace fieldkeep
