// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/guest/smc/EmulatedSmc.h"
#include "tests/integration/smc/RunProgram.h"
#include "tests/unit/smc/FakeApplesmc.h"

namespace drivetherm::guest {

// Where the kernel's applesmc driver puts its files, and the programs the harness put into the
// guest.
inline constexpr const char* kApplesmcDirectory = "/sys/devices/platform/applesmc.768";
inline constexpr const char* kSmcTool = "/usr/bin/drivetherm-smc";
inline constexpr const char* kDaemon = "/usr/sbin/drivethermd";

// The machine the emulated SMC plays (its key table, DT_GUEST_SMC_KEYS, read with the same reader
// the emulator's table was made with), the SMC's own test port, and the programs under test. Every
// check starts from the machine's table: the SMC is reset before it.
class GuestSmcFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(smc_.usable())
            << "the emulated SMC's test port cannot be reached (DT_GUEST_SMC_CONTROL_PORT)";
        ASSERT_FALSE(keys_.empty()) << "no key table in DT_GUEST_SMC_KEYS";
        smc_.reset();
    }

    static std::vector<testing::FakeSmcKey> loadKeys() {
        const char* path = std::getenv("DT_GUEST_SMC_KEYS");
        try {
            return path ? testing::loadFakeKeyList(path) : std::vector<testing::FakeSmcKey>{};
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
            return {};
        }
    }

    const testing::FakeSmcKey* key(const std::string& name) const {
        for (const auto& k : keys_) {
            if (k.name == name) return &k;
        }
        return nullptr;
    }

    unsigned fanCount() const {
        const auto* count = key("FNum");
        return count && !count->bytes.empty() ? count->bytes[0] : 0;
    }

    // An fpe2 key of the table as whole rpm.
    int rpmOf(const std::string& name) const {
        const auto* k = key(name);
        return k && k->bytes.size() == 2 ? ((k->bytes[0] << 8) | k->bytes[1]) >> 2 : -1;
    }

    static std::vector<std::uint8_t> fpe2(int rpm) {
        return {static_cast<std::uint8_t>((rpm << 2) >> 8),
                static_cast<std::uint8_t>((rpm << 2) & 0xFF)};
    }

    unsigned forcedMask() {
        const auto bytes = smc_.bytesOf("FS! ");
        return bytes && bytes->size() == 2 ? ((*bytes)[0] << 8) | (*bytes)[1] : 0xFFFFu;
    }

    testing::ProgramResult tool(std::vector<std::string> args) {
        args.insert(args.begin(), kSmcTool);
        return testing::runProgram(args);
    }

    std::vector<testing::FakeSmcKey> keys_ = loadKeys();
    EmulatedSmc smc_;
};

}  // namespace drivetherm::guest
