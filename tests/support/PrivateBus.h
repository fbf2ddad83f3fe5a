// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace drivetherm::testing {

// A dbus-daemon of the test's own, with a minimal configuration (no service directories, every
// local user may connect and own names), listening in a temporary directory. Gone with the
// object.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }
    // Ends the bus daemon, as if the system bus went away; start() brings it back on the same
    // socket.
    void stop();
    void start();
    const std::string& directory() const { return directory_; }

private:
    std::string directory_;
    std::string address_;
    pid_t pid_ = -1;
};

// A program the test runs in the background, its standard output and error in a log file.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& logPath, const std::vector<std::string>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Sends `signal` and waits up to `timeoutMs` for the exit; returns the wait status, or -1.
    int stop(int signal, int timeoutMs = 10000);
    std::string log() const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string logPath_;
};

// True once `name` has an owner on the bus at `address`, waiting up to `timeoutMs`.
bool waitForName(const std::string& address, const std::string& name, int timeoutMs = 10000);

// A fresh temporary directory, removed by the caller.
std::string makeTemporaryDirectory(const std::string& prefix);

}  // namespace drivetherm::testing
