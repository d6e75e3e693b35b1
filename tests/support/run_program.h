// Runs a program as a child process and collects its standard output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace cadrix::test {

struct ProgramRun {
    int status = -1;  // exit status, or 256 + the signal that ended it
    std::string output;
};

// Runs args[0] (searched in PATH) with `args` and `env` ("NAME=value") added
// to the environment; `onLine` sees each line of its standard output as it
// comes, with the child's pid.
inline ProgramRun RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
                             const std::function<void(const std::string&, pid_t)>& onLine = {}) {
    int ends[2];
    if (args.empty() || pipe(ends) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        close(ends[1]);
        for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(ends[1]);
    ProgramRun run;
    std::string line;
    char c;
    while (read(ends[0], &c, 1) == 1) {
        run.output += c;
        if (c != '\n') {
            line += c;
            continue;
        }
        if (onLine) onLine(line, child);
        line.clear();
    }
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 256 + WTERMSIG(status);
    return run;
}

}  // namespace cadrix::test
