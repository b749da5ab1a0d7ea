// How --start, --stop, --status, --send and --log reach the host: each as one
// script that /bin/sh reads from the channel's standard input. The script first
// checks the configuration directory and enters it (cd -P); everything after
// works relative to the directory it holds, so a path renamed or swapped after
// the check changes nothing. Root on a directory of another account runs the
// rest with that account's user and groups. Values travel inside the script:
// never in an argument list, an environment that others can read, or a file.
#pragma once

#include <string>
#include <vector>

#include "game/game_definition.h"
#include "remote/output_sink.h"
#include "remote/runner.h"

namespace fieldkeep {

// What a command runs in the held directory.
struct InstanceScript {
    const GameDefinition& game;  // its launcher and the instance's files
    std::string cfgDir;
    std::string body;        // shell text, run in the configuration directory
    std::string otherDir{};  // when set, the configuration directory must not be it
};

// The guard's shell functions: enter PATH (and walk PATH) holds the directory
// PATH names; look_here OWNER EXTRA checks it and every directory above it.
extern const char kLookHere[];
extern const char kEnterFunction[];

// The whole text that /bin/sh reads: the directory guard, then the body, as the
// directory's owner when the login is root and another account owns it.
std::string makeInstanceScript(const InstanceScript& script);

// The result of a run whose guard let it in. entered is false when the
// directory could not be entered (missing, no access): errors then says why.
struct InstanceRun {
    bool entered;
    RemoteResult result;
};

// Runs the script and throws TUError with the refusal when the guard refused the
// directory (one line for each: not owned by the login, writable by other
// accounts, holding a symbolic link, the same as otherDir, no way to act as its
// owner). A host that ran no guard at all (no /bin/sh, a login that runs no
// commands) throws unanswered followed by the host's error text.
InstanceRun runInstanceScript(RemoteRunner& host, const InstanceScript& script,
                              const std::string& unanswered);

// The same with the body's standard output passed on to sink as it arrives;
// standard error is not passed on.
InstanceRun streamInstanceScript(RemoteRunner& host, const InstanceScript& script,
                                 const std::string& unanswered, const OutputSink& sink);

// The steps of a body that stop at the first failure: each a shell command run
// in the held directory, its error output held; the failing one names itself
// on standard output and passes its error output on as the run's.
class ScriptSteps {
public:
    // failure is the message when command fails; withErrors appends ": " and the
    // command's error output.
    void add(const std::string& command, const std::string& failure, bool withErrors = true);
    // The same for a command whose exit status N (from 1) names failures[N - 1];
    // any other status the first.
    void add(const std::string& command, const std::vector<std::string>& failures,
             bool withErrors = true);
    // Adds shell text run in its turn whose result is not examined.
    void addUnchecked(const std::string& text);
    // The shell function that runs a step, then the steps in order.
    std::string text() const;
    // Throws the message of the step that failed, when one did.
    void throwFailure(const RemoteResult& result) const;

private:
    struct Step {
        std::string command;
        std::vector<std::string> failures;  // an unchecked text has none
        bool withErrors;
    };
    std::vector<Step> steps_;
};

}  // namespace fieldkeep
