// Runs the real fieldkeep and bash lines (with lib.sh) in the sandbox test host, whose sshd on
// loopback is the "remote" host. Standard error is merged into the output: fieldkeep must never
// write there, so any byte it writes breaks an exact comparison.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fieldkeep::e2e {

struct RunResult {
    std::string out;
    int status;
};

struct Account {
    std::string address, login, password;
};
inline std::string envOf(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }
inline Account user() { return {"testhost", "fkuser", envOf("FK_USER_PASSWORD")}; }  // /bin/sh
inline Account bashUser() { return {"testhost", "fkbash", envOf("FK_USER_PASSWORD")}; }
inline Account mkshUser() { return {"testhost", "fkmksh", envOf("FK_USER_PASSWORD")}; }
inline Account zshUser() { return {"testhost", "fkzsh", envOf("FK_USER_PASSWORD")}; }
inline Account root() { return {"testhost", "root", envOf("FK_ROOT_PASSWORD")}; }

using Setting = std::optional<std::string>;  // a variable's value, or nullopt: removed
using Env = std::map<std::string, Setting>;  // changes to the environment of a run

inline std::string shellWord(const std::string& word) {
    std::string text = "'";
    for (char c : word) {
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return text + "'";
}

inline std::string joined(const std::vector<std::string>& words) {  // as shell words
    std::string line;
    for (const std::string& word : words) {
        line += " " + shellWord(word);
    }
    return line;
}

// The output and status of a command line; a hanging one is killed after 300 s.
inline RunResult run(const std::string& line) {
    FILE* pipe = popen(("exec timeout -s KILL 300 " + line + " 2>&1 </dev/null").c_str(), "r");
    RunResult result{"", -1};
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.out.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

inline RunResult sh(const std::string& line) {
    return run("bash -c " + shellWord("FIELDKEEP=" FIELDKEEP_BINARY " LINK_PROXY=" LINK_PROXY
                                      "; . " E2E_LIB "; " +
                                      line));
}

inline RunResult fieldkeep(const Account& as, std::vector<std::string> args, Env env = {}) {
    args.insert(args.begin(), {"--address=" + as.address, "--login=" + as.login});
    env.emplace("BF1942_PASSWD", as.password);
    std::string unset, set;
    for (const auto& [name, value] : env) {
        value ? set += " " + name + "=" + shellWord(*value) : unset += " -u " + name;
    }
    return run("env" + unset + set + " " FIELDKEEP_BINARY + joined(args));
}

// An empty directory /srv/t, writable by all and sticky (as /tmp), for one case.
inline void freshDir() { ASSERT_EQ(sh("rm -rf /srv/t && mkdir -m 1777 /srv/t").status, 0); }

// One run: a bash line sets /srv/t up, fieldkeep runs, its whole output (or its start, when the
// row's ends in "...") and status are compared, and a bash line in /srv/t then checks the host.
struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int status;
    std::string check = "";  // "": none
    std::string setup = "";
    Account as = user();
    Env env = {};
};

// Row c, named name, against the server at address (dropbear, onesession) instead.
inline Case on(const char* address, const char* name, Case c) {
    c.name = name;
    c.as.address = address;
    return c;
}

class Run : public ::testing::TestWithParam<Case> {};

inline void runCase(const Case& c) {
    freshDir();
    ASSERT_TRUE(c.setup.empty() || sh("cd /srv/t && " + c.setup).status == 0) << c.setup;
    const RunResult result = fieldkeep(c.as, c.args, c.env);
    std::ofstream("/srv/out", std::ios::binary) << result.out;
    const bool prefix = c.out.size() >= 3 && c.out.compare(c.out.size() - 3, 3, "...") == 0;
    const std::string expected = prefix ? c.out.substr(0, c.out.size() - 3) : c.out;
    EXPECT_EQ(prefix ? result.out.substr(0, expected.size()) : result.out, expected);
    EXPECT_EQ(result.status, c.status);
    const RunResult check = c.check.empty() ? RunResult{"", 0} : sh("cd /srv/t && " + c.check);
    EXPECT_EQ(check.status, 0) << c.check << "\n" << check.out;
}

inline void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
inline std::string caseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

}  // namespace fieldkeep::e2e
