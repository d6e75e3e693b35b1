// Runs a program of the build as a user would: its own process, extra
// environment, standard output (and error) read line by line as it comes.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace cadrix::test {

struct ProgramResult {
    int status = -1;  // the exit status, or 256 + the signal that ended it
    std::string output;
    bool timedOut = false;  // killed after the time limit
};

struct ProgramOptions {
    std::vector<std::string> env;  // NAME=value, added to the test's own
    // Sees every line of output as it comes, with the child's pid.
    std::function<void(const std::string& line, pid_t pid)> onLine;
    int timeoutSeconds = 120;
    long fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes, when >= 0
    bool withStderr = false;
};

inline ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                                const ProgramOptions& options = {}) {
    int ends[2];
    if (pipe(ends) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDOUT_FILENO);
        if (options.withStderr) dup2(ends[1], STDERR_FILENO);
        close(ends[0]);
        close(ends[1]);
        for (const auto& e : options.env) putenv(const_cast<char*>(e.c_str()));
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(path.c_str(), argv.data());  // a bare name is searched in PATH
        _exit(127);
    }
    close(ends[1]);
    ProgramResult result;
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        pollfd wait{ends[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) == 0) {
            kill(child, SIGKILL);
            result.timedOut = true;
            break;
        }
        char chunk[65536];
        const ssize_t got = read(ends[0], chunk, sizeof chunk);
        if (got <= 0) break;
        result.output.append(chunk, static_cast<size_t>(got));
        for (ssize_t k = 0; k < got; ++k) {
            if (chunk[k] != '\n') {
                line += chunk[k];
                continue;
            }
            if (options.onLine) options.onLine(line, child);
            line.clear();
        }
    }
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 256 + WTERMSIG(status);
    return result;
}

// Runs command[0] with the rest of `command` as its arguments.
inline ProgramResult RunCommand(const std::vector<std::string>& command, const std::vector<std::string>& env,
                                const std::function<void(const std::string&, pid_t)>& onLine = {}) {
    if (command.empty()) return {};
    ProgramOptions options;
    options.env = env;
    options.onLine = onLine;
    return RunProgram(command.front(), {command.begin() + 1, command.end()}, options);
}

}  // namespace cadrix::test
