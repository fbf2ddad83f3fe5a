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

// Runs a program to its end with standard output and error captured; `environment` entries
// ("NAME=value") are added to the test's own environment. A program still running after
// `timeoutSeconds` is killed and reported with status -1.
inline ProgramResult runProgram(const std::vector<std::string>& args,
                                const std::vector<std::string>& environment = {},
                                int timeoutSeconds = 30) {
    char outPath[] = "/tmp/drivetherm-test-out-XXXXXX";
    char errPath[] = "/tmp/drivetherm-test-err-XXXXXX";
    const int outFd = mkstemp(outPath);
    const int errFd = mkstemp(errPath);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        for (const auto& entry : environment) putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ProgramResult result;
    int status = 0;
    bool timedOut = true;
    for (int waited = 0; waited < timeoutSeconds * 100; ++waited) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            timedOut = false;
            break;
        }
        usleep(10000);
    }
    if (timedOut) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    } else if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    close(outFd);
    close(errFd);
    result.out = readWholeFile(outPath);
    result.err = readWholeFile(errPath);
    unlink(outPath);
    unlink(errPath);
    if (timedOut) result.err += "(killed: still running after " + std::to_string(timeoutSeconds) + " s)\n";
    return result;
}

}  // namespace drivetherm::testing
