// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/support/PrivateBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace drivetherm::testing {
namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what);
}

std::vector<char*> toArgv(std::vector<std::string>& strings) {
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

std::string makeTemporaryDirectory(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) fail("mkdtemp: " + std::string(std::strerror(errno)));
    ::chmod(pattern.c_str(), 0755);  // reachable for the test's unprivileged clients
    return pattern;
}

PrivateBus::PrivateBus() {
    directory_ = makeTemporaryDirectory("drivetherm-bus");
    const std::string config = directory_ + "/bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus "
                             "Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <type>system</type>\n"
                             "  <listen>unix:path="
                          << directory_
                          << "/socket</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow user=\"*\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    start();
}

void PrivateBus::start() {
    const std::string config = directory_ + "/bus.conf";
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) fail("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
        // The bus ends with the process that started it, even one that crashed (a fuzz target).
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(out[1], 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        std::vector<std::string> args = {"dbus-daemon", "--config-file=" + config, "--nofork",
                                         "--print-address=1"};
        auto argv = toArgv(args);
        ::execvp("dbus-daemon", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    pollfd pfd{out[0], POLLIN, 0};
    char buffer[512];
    std::string line;
    while (line.find('\n') == std::string::npos && ::poll(&pfd, 1, 10000) > 0) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.find('\n') == std::string::npos) fail("dbus-daemon did not start");
    // Without the bus's guid, so that clients reach a restarted bus on the same socket.
    address_ = "unix:path=" + directory_ + "/socket";
    ::chmod((directory_ + "/socket").c_str(), 0777);
}

void PrivateBus::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    ::unlink((directory_ + "/socket").c_str());
}

PrivateBus::~PrivateBus() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& logPath, const std::vector<std::string>& environment)
    : logPath_(logPath) {
    pid_ = ::fork();
    if (pid_ == 0) {
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::setpgid(0, 0);
        for (const std::string& variable : environment) ::putenv(strdup(variable.c_str()));
        std::vector<std::string> args = {program};
        args.insert(args.end(), arguments.begin(), arguments.end());
        auto argv = toArgv(args);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (running()) stop(SIGKILL);
}

bool ChildProcess::running() {
    if (pid_ <= 0 || status_ != -1) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        return false;
    }
    return true;
}

int ChildProcess::stop(int signal, int timeoutMs) {
    if (running()) ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (running()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        return -1;
    }
    return status_;
}

std::string ChildProcess::log() const {
    std::ifstream in(logPath_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool waitForName(const std::string& address, const std::string& name, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, address.c_str()) >= 0 &&
            sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0) {
            sd_bus_message* reply = nullptr;
            int owned = 0;
            if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s",
                                   name.c_str()) >= 0) {
                sd_bus_message_read(reply, "b", &owned);
            }
            sd_bus_message_unref(reply);
            sd_bus_flush_close_unref(bus);
            if (owned) return true;
        } else {
            sd_bus_unref(bus);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace drivetherm::testing
