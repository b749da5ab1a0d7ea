#include "harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fieldkeep::e2e {

const char kUnset[] = "\x01unset";

namespace {

// Runs argv with the environment changed by env; stdout through a pipe, stderr
// into a temporary file. The alarm, far beyond any run's duration and kept
// across execv, only makes a hanging run fail its test instead of stalling the suite.
RunResult spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
    int out[2];
    FILE* err = std::tmpfile();
    if (pipe2(out, O_CLOEXEC) != 0 || err == nullptr) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        for (const auto& [name, value] : env) {
            value == kUnset ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
        }
        dup2(out[1], 1);
        dup2(fileno(err), 2);
        dup2(open("/dev/null", O_RDONLY), 0);
        alarm(300);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    RunResult run{{}, {}, -1};
    char buffer[65536];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0) {
            run.out.append(buffer, static_cast<std::size_t>(n));
        } else if (errno != EINTR) {
            break;
        }
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::rewind(err);
    for (int c; (c = std::fgetc(err)) != EOF;) {
        run.err += static_cast<char>(c);
    }
    std::fclose(err);
    return run;
}

}  // namespace

RunResult fieldkeepRaw(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env) {
    std::vector<std::string> argv{FIELDKEEP_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return spawn(argv, env);
}

RunResult fieldkeep(const Account& account, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env) {
    std::vector<std::string> all{"--address=" + account.address, "--login=" + account.login};
    all.insert(all.end(), args.begin(), args.end());
    std::map<std::string, std::string> withPassword = env;
    withPassword["BF1942_PASSWD"] = account.password;
    return fieldkeepRaw(all, withPassword);
}

RunResult sh(const std::string& command) { return spawn({"/bin/sh", "-c", command}, {}); }

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

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string fileMode(const std::string& path) {
    struct stat info {};
    char text[8] = "";
    if (stat(path.c_str(), &info) == 0) {
        std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(info.st_mode & 07777));
    }
    return text;
}

std::string gameArchive(const std::string& name) {
    static const bool made =
        sh(std::string(FIXTURES_DIR) + "/make-game-archives.sh /srv/www").status == 0;
    if (!made) {
        throw std::runtime_error("could not make the game archives");
    }
    return "/srv/www/" + name;
}

bool eventually(const std::function<bool()>& done, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string readWhenWritten(const std::string& path) {
    std::string text;
    return eventually([&] { return !(text = readFile(path)).empty() && text.back() == '\n'; })
               ? text
               : "";
}

bool waitForListener(const std::string& address, int port) {
    return eventually([&] {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, address.c_str(), &to.sin_addr);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
        close(fd);
        return accepted;
    }, 5);
}

bool processRunning(const std::string& pid) {
    const std::string stat = readFile("/proc/" + pid.substr(0, pid.find_first_of(" \n")) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

}  // namespace fieldkeep::e2e
