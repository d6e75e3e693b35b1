// The local stand-in for MusicBrainz and gnudb (lookup_server.py): started
// on an ephemeral port of 127.0.0.1 with one scenario, stopped with the
// object. CADRIX_LOOKUP_PYTHON, CADRIX_LOOKUP_SERVER_SCRIPT and
// CADRIX_LOOKUP_REPLIES name the interpreter, the script and the replies.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

namespace cadrix::test {

class LookupServer {
public:
    LookupServer(const std::string& scenario, const std::string& logPath) : log_(logPath) {
        int ends[2];
        if (pipe(ends) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(ends[1], STDOUT_FILENO);
            close(ends[0]);
            close(ends[1]);
            execl(CADRIX_LOOKUP_PYTHON, "python3", CADRIX_LOOKUP_SERVER_SCRIPT, CADRIX_LOOKUP_REPLIES, scenario.c_str(),
                   logPath.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ends[1]);
        for (char c; read(ends[0], &c, 1) == 1 && c != '\n';) port_ += c;
        close(ends[0]);
    }
    ~LookupServer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    LookupServer(const LookupServer&) = delete;
    LookupServer& operator=(const LookupServer&) = delete;

    // "http://127.0.0.1:<port>"; no port when the server did not start.
    std::string Url() const { return "http://127.0.0.1:" + port_; }
    // One line per request: "<path and query>\t<User-Agent>".
    std::string Log() const {
        std::ifstream in(log_);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string log_;
    std::string port_;
    pid_t pid_ = -1;
};

}  // namespace cadrix::test
