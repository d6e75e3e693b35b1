// Local stand-ins for online services: a Python server script started on an
// ephemeral port of 127.0.0.1 (it prints the port first), stopped with the
// object. LookupServer plays MusicBrainz and gnudb (lookup_server.py; the
// interpreter, script and replies named by CADRIX_LOOKUP_PYTHON,
// CADRIX_LOOKUP_SERVER_SCRIPT and CADRIX_LOOKUP_REPLIES); a static one
// serves a folder (static_server.py), e.g. as AccurateRip.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace cadrix::test {

class ScriptServer {
public:
    // Runs `python` with `args` (the script first); `logPath` is where the
    // script logs its requests.
    ScriptServer(const std::string& python, const std::vector<std::string>& args, std::string logPath)
        : log_(std::move(logPath)) {
        int ends[2];
        if (pipe(ends) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(ends[1], STDOUT_FILENO);
            close(ends[0]);
            close(ends[1]);
            std::vector<char*> argv{const_cast<char*>(python.c_str())};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(python.c_str(), argv.data());
            _exit(127);
        }
        close(ends[1]);
        for (char c; read(ends[0], &c, 1) == 1 && c != '\n';) port_ += c;
        close(ends[0]);
    }
    ~ScriptServer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    // "http://127.0.0.1:<port>"; no port when the server did not start.
    std::string Url() const { return "http://127.0.0.1:" + port_; }
    // The requests logged so far.
    std::string Log() const {
        std::ifstream in(log_);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string log_;
    std::string port_;
    pid_t pid_ = -1;
};

#ifdef CADRIX_LOOKUP_SERVER_SCRIPT
// One scenario of lookup_server.py; its log has one line per request:
// "<path and query>\t<User-Agent>".
class LookupServer : public ScriptServer {
public:
    LookupServer(const std::string& scenario, const std::string& logPath)
        : ScriptServer(CADRIX_LOOKUP_PYTHON, {CADRIX_LOOKUP_SERVER_SCRIPT, CADRIX_LOOKUP_REPLIES, scenario, logPath},
                       logPath) {}
    // Also plays the Cover Art Archive from the files in `covers`.
    LookupServer(const std::string& scenario, const std::string& logPath, const std::string& covers)
        : ScriptServer(CADRIX_LOOKUP_PYTHON,
                       {CADRIX_LOOKUP_SERVER_SCRIPT, CADRIX_LOOKUP_REPLIES, scenario, logPath, covers}, logPath) {}
};
#endif

}  // namespace cadrix::test
