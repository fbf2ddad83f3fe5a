// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace drivetherm::testing {

struct ProgramResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A program running beside the test, its output going to files, stopped by a signal.
class BackgroundProgram {
public:
    BackgroundProgram(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment = {}) {
        char directory[] = "/tmp/drivetherm-program-XXXXXX";
        directory_ = mkdtemp(directory);
        outPath_ = directory_ + "/out";
        errPath_ = directory_ + "/err";
        pid_ = fork();
        if (pid_ == 0) {
            const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            for (const auto& entry : environment) putenv(const_cast<char*>(entry.c_str()));
            std::vector<char*> argv;
            for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~BackgroundProgram() {
        if (pid_ > 0) stop(SIGKILL);
        unlink(outPath_.c_str());
        unlink(errPath_.c_str());
        rmdir(directory_.c_str());
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    // Sends `signal` and waits up to `timeoutSeconds` for the end: the exit status, 128 + the
    // signal that ended it, or -1 when it had to be killed.
    int stop(int signal, int timeoutSeconds = 10) {
        if (pid_ <= 0) return -1;
        kill(pid_, signal);
        return wait(timeoutSeconds);
    }

    // Waits up to `timeoutSeconds` for the program to end by itself, as stop() reports it.
    int wait(int timeoutSeconds) {
        if (pid_ <= 0) return -1;
        int status = 0;
        for (int waited = 0; waited < timeoutSeconds * 100; ++waited) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
    }

    bool running() {
        int status = 0;
        return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
    }
    std::string out() const { return readWholeFile(outPath_); }
    std::string err() const { return readWholeFile(errPath_); }

private:
    pid_t pid_ = -1;
    std::string directory_;
    std::string outPath_;
    std::string errPath_;
};

// Runs a program to its end with standard output and error captured; `environment` entries
// ("NAME=value") are added to the test's own environment. A program still running after
// `timeoutSeconds` is killed and reported with status -1.
inline ProgramResult runProgram(const std::vector<std::string>& args,
                                const std::vector<std::string>& environment = {},
                                int timeoutSeconds = 30) {
    BackgroundProgram program(args, environment);
    ProgramResult result;
    result.status = program.wait(timeoutSeconds);
    result.out = program.out();
    result.err = program.err();
    if (result.status == -1)
        result.err += "(killed: still running after " + std::to_string(timeoutSeconds) + " s)\n";
    return result;
}

// Polls `condition` every 10 ms for up to `timeoutSeconds`.
template <typename Condition>
bool eventually(Condition condition, int timeoutSeconds = 10) {
    for (int waited = 0; waited < timeoutSeconds * 100; ++waited) {
        if (condition()) return true;
        usleep(10000);
    }
    return condition();
}

}  // namespace drivetherm::testing
