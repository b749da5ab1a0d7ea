#include "harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fieldkeep::e2e {

const char kUnset[] = "\x01unset";

namespace {

// Far beyond any run's duration; only there so that a hanging run fails its
// test instead of stalling the suite.
constexpr unsigned kGuardSeconds = 300;

std::string envOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

void drainInto(int fd, std::string& into, bool& open) {
    char buffer[65536];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
        open = false;
    }
}

// Runs argv with envp, collecting both output streams until the child ends.
RunResult spawn(const std::vector<std::string>& argv, const std::vector<std::string>& envp) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const auto& e : envp) {
        env.push_back(const_cast<char*>(e.c_str()));
    }
    env.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        alarm(kGuardSeconds);  // kept across execve: a run that hangs is ended
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    RunResult run{{}, {}, -1};
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[0].revents != 0) {
            drainInto(out[0], run.out, outOpen);
        }
        if (fds[1].revents != 0) {
            drainInto(err[0], run.err, errOpen);
        }
    }
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    return env;
}

}  // namespace

Account testUser() {
    return {"testhost", "fkuser", envOr("FK_USER_PASSWORD", "")};
}
Account testBashUser() {
    return {"testhost", "fkbash", envOr("FK_USER_PASSWORD", "")};
}
Account rootUser() {
    return {"testhost", "root", envOr("FK_ROOT_PASSWORD", "")};
}
Account fakeSystemRoot() {
    return {"testhost", "toor", envOr("FK_TOOR_PASSWORD", "")};
}

RunResult fieldkeepRaw(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env) {
    std::vector<std::string> argv{FIELDKEEP_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp;
    for (const std::string& entry : currentEnvironment()) {
        const std::string name = entry.substr(0, entry.find('='));
        if (env.count(name) == 0) {
            envp.push_back(entry);
        }
    }
    for (const auto& [name, value] : env) {
        if (value != kUnset) {
            envp.push_back(name + "=" + value);
        }
    }
    return spawn(argv, envp);
}

RunResult fieldkeep(const Account& account, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env) {
    std::vector<std::string> all{"--address=" + account.address, "--login=" + account.login};
    all.insert(all.end(), args.begin(), args.end());
    std::map<std::string, std::string> withPassword = env;
    withPassword["BF1942_PASSWD"] = account.password;
    return fieldkeepRaw(all, withPassword);
}

RunResult sh(const std::string& command) {
    return spawn({"/bin/sh", "-c", command}, currentEnvironment());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string freshDir(const std::string& name) {
    const std::string dir = "/srv/" + name;
    sh("rm -rf '" + dir + "' && mkdir -p '" + dir + "' && chmod 777 '" + dir + "'");
    return dir;
}

}  // namespace fieldkeep::e2e

#include <sys/stat.h>

#include <chrono>
#include <thread>

namespace fieldkeep::e2e {

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string waitForFile(const std::string& dir, const std::vector<std::string>& names,
                        int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    do {
        for (const std::string& name : names) {
            if (exists(dir + "/" + name)) {
                return name;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return "";
}

std::string readWhenWritten(const std::string& path, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    do {
        const std::string text = readFile(path);
        if (!text.empty() && text.back() == '\n') {
            return text;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return "";
}

std::string fileMode(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return "";
    }
    char text[8];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(info.st_mode & 07777));
    return text;
}

}  // namespace fieldkeep::e2e

namespace fieldkeep::e2e {

std::string gameArchive(const std::string& name) {
    static const bool made =
        sh(std::string(FIXTURES_DIR) + "/make-game-archives.sh /srv/www").status == 0;
    if (!made) {
        throw std::runtime_error("could not make the game archives");
    }
    return "/srv/www/" + name;
}

bool waitForListener(const std::string& address, int port) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, address.c_str(), &to.sin_addr);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
        close(fd);
        if (accepted) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool processRunning(const std::string& pid) {
    std::string number = pid;
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) {
        number.pop_back();
    }
    if (number.empty()) {
        return false;
    }
    const std::string stat = readFile("/proc/" + number + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

}  // namespace fieldkeep::e2e
