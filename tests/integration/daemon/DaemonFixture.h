// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/BusNames.h"
#include "protocol/DaemonInterface.h"
#include "protocol/DbusDaemonClient.h"
#include "protocol/SimulatorClient.h"
#include "tests/support/PrivateBus.h"

namespace drivetherm::testing {

// The real drivethermd on a private bus and a simulated machine whose temperatures change only
// when the test sets them. The daemon's log is printed when a test fails.
class DaemonFixture : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = makeTemporaryDirectory("drivetherm-state");
        log_ = state_ + ".log";
    }

    void TearDown() override {
        if (HasFailure() && daemon_)
            std::fprintf(stderr, "---- daemon log ----\n%s\n", daemon_->log().c_str());
        daemon_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(state_, ignored);
        std::filesystem::remove(log_, ignored);
    }

    static std::string machine() { return DRIVETHERM_TEST_DATA "/daemon/quiet-machine.json"; }
    static std::string program() { return DRIVETHERM_BINARY_DIR "/daemon/drivethermd"; }

    void startDaemon(int tickMs = 20, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {
            "--bus",       bus_.address(), "--hardware",      "sim:" + machine(),
            "--state-dir", state_,         "--tick-interval", std::to_string(tickMs),
            "-v"};
        args.insert(args.end(), extra.begin(), extra.end());
        daemon_ = std::make_unique<ChildProcess>(program(), args, log_);
        ASSERT_TRUE(waitForName(bus_.address(), bus::kServiceName)) << daemon_->log();
    }

    int stopDaemon(int signal = SIGTERM) {
        const int status = daemon_->stop(signal);
        return status;
    }

    DaemonProxy client() { return DbusDaemonClient::bind(bus_.address()); }

    // Calls a method of the daemon object on the raw bus, for what the client would not send;
    // returns the error name or "".
    std::string rawCall(const BusMethod& method,
                        const std::function<int(sd_bus_message*)>& append) {
        sd_bus* bus = nullptr;
        sd_bus_new(&bus);
        sd_bus_set_address(bus, bus_.address().c_str());
        sd_bus_set_bus_client(bus, 1);
        if (sd_bus_start(bus) < 0) {
            sd_bus_unref(bus);
            return "no bus";
        }
        sd_bus_message* request = nullptr;
        sd_bus_message_new_method_call(bus, &request, bus::kServiceName, bus::kObjectPath,
                                       DaemonInterface::kName, method.name);
        append(request);
        sd_bus_error error = SD_BUS_ERROR_NULL;
        std::string result;
        if (sd_bus_call(bus, request, 30000000, &error, nullptr) < 0) {
            result = error.name ? error.name : "failed";
        }
        sd_bus_error_free(&error);
        sd_bus_message_unref(request);
        sd_bus_flush_close_unref(bus);
        return result;
    }

    // The simulated machine's inside.
    std::unique_ptr<SimulatorClient> simulator() {
        std::string error;
        auto client = SimulatorClient::connect(bus_.address(), error);
        if (!client) throw std::runtime_error(error);
        return client;
    }

    // A fan speed key of the simulated SMC in rpm, as the SMC holds it; -1 when it cannot be
    // read.
    int smcRpm(const char* key) {
        try {
            const SimulatorClient::Key value = simulator()->readKey(key);
            if (value.status != 0 || value.bytes.size() != 2) return -1;
            return (value.bytes[0] << 6) | (value.bytes[1] >> 2);
        } catch (const DaemonError&) {
            return -1;
        }
    }

    // Waits until `condition` holds, up to `timeout`.
    static bool eventually(const std::function<bool()>& condition,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }

    std::string settingsFile() const { return state_ + "/com.quillmoor.Drivetherm.plist"; }

    PrivateBus bus_;
    std::string state_;
    std::string log_;
    std::unique_ptr<ChildProcess> daemon_;
};

}  // namespace drivetherm::testing
