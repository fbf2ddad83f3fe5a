// SPDX-License-Identifier: GPL-2.0-or-later
// drivethermd --hardware linux on the kernel's applesmc driver and the emulated SMC: which fan it
// drives and how, what the SMC is sent tick by tick, the fan handed back when the daemon stops,
// the fans released after a crash, and the loop's behaviour while the SMC stops answering.
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <regex>
#include <thread>

#include "protocol/BusNames.h"
#include "protocol/DaemonInterface.h"
#include "tests/guest/smc/GuestSmcFixture.h"
#include "tests/support/PrivateBus.h"

namespace drivetherm::guest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using testing::eventually;

// The daemon's sensor table: the keys whose positive readings it averages.
const char* const kSensorKeys[] = {"TC0P", "TC0D", "TC0H", "TA0P", "TL0P", "TO0P", "Tp1P"};
// The default curve (base 1100 rpm, 50.0 to 58.0 °C, 6000 rpm above) at 54 °C:
// (54 − 50) / 8 × 4900 + 1100, held inside the driven fan's own range.
constexpr double kSensorCelsius = 54.0;
constexpr int kCurveRpm = 3550;
constexpr int kTickMs = 100;
// The driver gives up on an SMC that does not answer after 24 polls of its status port with a
// growing sleep: 131 to 262 ms, twice that with the kernel's timer slack. One failed exchange
// waits that long at most twice (before the command, and for the answer).
constexpr auto kDriverTimeout = std::chrono::milliseconds(2 * 2 * 262);
// What a guest under software emulation adds to any wait: scheduling, the bus's own round trip.
constexpr auto kEmulationSlack = std::chrono::milliseconds(400);

// A client of the daemon on the private bus, to see how long the loop keeps it waiting.
class BusClient {
public:
    explicit BusClient(const std::string& address) {
        if (sd_bus_new(&bus_) < 0) return;
        sd_bus_set_address(bus_, address.c_str());
        sd_bus_set_bus_client(bus_, 1);
        if (sd_bus_start(bus_) < 0) bus_ = sd_bus_unref(bus_);
    }
    ~BusClient() { sd_bus_unref(bus_); }
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    // How long the daemon took to answer BaseRpm; nullopt when it did not answer.
    std::optional<Clock::duration> timeBaseRpm() {
        if (bus_ == nullptr) return std::nullopt;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const auto started = Clock::now();
        const int result =
            sd_bus_call_method(bus_, bus::kServiceName, bus::kObjectPath, DaemonInterface::kName,
                               DaemonInterface::kBaseRpm.name, &error, &reply, "");
        const auto took = Clock::now() - started;
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        if (result < 0) return std::nullopt;
        return took;
    }

private:
    sd_bus* bus_ = nullptr;
};

class GuestSmcDaemon : public GuestSmcFixture {
protected:
    void SetUp() override {
        GuestSmcFixture::SetUp();
        ASSERT_FALSE(bus_.address().empty());
        for (const char* sensor : kSensorKeys) {
            if (key(sensor)) {
                ASSERT_TRUE(smc_.setBytes(sensor, sp78(kSensorCelsius))) << sensor;
            }
        }
        // The fan the daemon must choose, by the rule, from the table: the fan named HDD, else
        // fan 1, else the only fan, which is only ever given a floor.
        const int fans = static_cast<int>(fanCount());
        for (int i = 0; i < fans && fan_ < 0; ++i) {
            const auto* id = key("F" + std::to_string(i) + "ID");
            if (id && id->bytes.size() > 4 &&
                std::string(reinterpret_cast<const char*>(id->bytes.data()) + 4) == "HDD")
                fan_ = i;
        }
        if (fan_ < 0) fan_ = fans >= 2 ? 1 : fans - 1;
        floor_ = fans == 1;
        if (fan_ >= 0) {
            const int low = rpmOf(fanKey("Mn")), high = rpmOf(fanKey("Mx"));
            speed_ = std::clamp(kCurveRpm, std::min(low, high), std::max(low, high));
        }
    }
    std::string fanKey(const char* suffix) const { return "F" + std::to_string(fan_) + suffix; }
    unsigned fanBit() const { return 1u << fan_; }
    void TearDown() override {
        if (HasFailure() && daemon_)
            std::printf("drivethermd's output:\n%s%s", daemon_->out().c_str(),
                        daemon_->err().c_str());
    }

    static Bytes sp78(double celsius) {
        const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(celsius * 256));
        return {static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw & 0xFF)};
    }

    void startDaemon() {
        daemon_ = std::make_unique<testing::BackgroundProgram>(std::vector<std::string>{
            kDaemon, "--bus", bus_.address(), "--hardware", "linux", "--state-dir", stateDir_,
            "--tick-interval", std::to_string(kTickMs), "-v"});
        ASSERT_TRUE(testing::waitForName(bus_.address(), bus::kServiceName))
            << "drivethermd did not come up";
    }

    // The fan forced at the curve's speed, or given it as its floor.
    bool settled() {
        if (floor_) return eventually([&] { return smc_.bytesOf(fanKey("Mn")) == fpe2(speed_); });
        return eventually([&] {
            return (forcedMask() & fanBit()) && smc_.bytesOf(fanKey("Tg")) == fpe2(speed_);
        });
    }

    // The ticks the daemon reported when it stopped.
    static long ticksIn(const std::string& log) {
        std::smatch match;
        return std::regex_search(log, match, std::regex(R"((\d+) ticks in)")) ? std::stol(match[1])
                                                                              : -1;
    }

    testing::PrivateBus bus_;
    std::string stateDir_ = testing::makeTemporaryDirectory("drivetherm-state");
    std::unique_ptr<testing::BackgroundProgram> daemon_;
    int fan_ = -1;
    bool floor_ = false;
    int speed_ = 0;  // what the fan is held at
};

TEST_F(GuestSmcDaemon, TheLoopDrivesTheChosenFanInsideItsRangeAndHandsItBack) {
    ASSERT_GE(fan_, 0) << "the table has no fan";
    const unsigned maskBefore = forcedMask();
    startDaemon();
    ASSERT_TRUE(settled());
    if (!floor_ && key(fanKey("Ac"))->bytes != fpe2(speed_)) {
        // The actual speed follows the forced target with a lag, then reaches it.
        EXPECT_NE(smc_.bytesOf(fanKey("Ac")), fpe2(speed_)) << "the fan reached its speed at once";
        EXPECT_TRUE(eventually([&] { return smc_.bytesOf(fanKey("Ac")) == fpe2(speed_); }));
    }
    // A steady stretch of ticks, for what one tick costs the SMC.
    auto writes = smc_.takeWrites();
    const auto before = smc_.counts();
    std::this_thread::sleep_for(std::chrono::milliseconds(20 * kTickMs));
    const auto after = smc_.counts();
    const auto stretch = smc_.takeWrites();
    const long stretchTicks = std::count_if(stretch.begin(), stretch.end(),
                                            [&](const auto& w) { return w.key == fanKey("Mn"); });
    writes.insert(writes.end(), stretch.begin(), stretch.end());
    EXPECT_EQ(daemon_->stop(SIGTERM), 0);
    const long ticks = ticksIn(daemon_->err());
    ASSERT_GT(ticks, 0) << daemon_->err();
    ASSERT_GT(stretchTicks, 0);
    auto perTick = [&](std::uint64_t EmulatedSmc::Counts::*field) {
        return static_cast<double>(after.*field - before.*field) /
               static_cast<double>(stretchTicks);
    };
    std::printf(
        "figure smc per tick over %ld ticks (%s): %.1f exchanges (%.1f reads, %.1f writes, "
        "%.1f by index, %.1f types), %.1f writes taken\n",
        stretchTicks, floor_ ? "floor" : "forced",
        static_cast<double>(after.total() - before.total()) / static_cast<double>(stretchTicks),
        perTick(&EmulatedSmc::Counts::reads), perTick(&EmulatedSmc::Counts::writes),
        perTick(&EmulatedSmc::Counts::byIndex), perTick(&EmulatedSmc::Counts::types),
        static_cast<double>(stretch.size()) / static_cast<double>(stretchTicks));

    const auto handBack = smc_.takeWrites();
    writes.insert(writes.end(), handBack.begin(), handBack.end());
    long minimumWrites = 0, targetWrites = 0;
    for (const auto& w : writes) {
        EXPECT_TRUE(w.taken) << w.key;
        if (w.key == "FS! " && !floor_) {
            ASSERT_EQ(w.bytes.size(), 2u);
            EXPECT_EQ((((w.bytes[0] << 8) | w.bytes[1]) ^ maskBefore) & ~fanBit(), 0u)
                << "another fan's forced bit changed";
        } else if (w.key == fanKey("Mn")) {
            minimumWrites += w.bytes == fpe2(speed_);
        } else if (w.key == fanKey("Tg") && !floor_) {
            targetWrites += w.bytes == fpe2(speed_);
        } else {
            // In floor mode the fan is never forced and its target never set.
            ADD_FAILURE() << "a write to " << w.key;
        }
    }
    EXPECT_EQ(minimumWrites, ticks) << "the minimum is written once a tick";
    if (!floor_) {
        EXPECT_EQ(targetWrites, ticks) << "the forced speed is written once a tick";
    }

    // Handed back: not forced, its minimum as before, the SMC's own target again.
    if (!floor_) {
        const auto lastMask = std::find_if(writes.rbegin(), writes.rend(),
                                           [](const auto& w) { return w.key == "FS! "; });
        ASSERT_NE(lastMask, writes.rend());
        EXPECT_EQ(((lastMask->bytes[0] << 8) | lastMask->bytes[1]) & fanBit(), 0u);
    }
    EXPECT_EQ(forcedMask(), maskBefore);
    EXPECT_EQ(smc_.bytesOf(fanKey("Mn")), key(fanKey("Mn"))->bytes);
    EXPECT_TRUE(eventually([&] { return smc_.bytesOf(fanKey("Tg")) == key(fanKey("Tg"))->bytes; }));
}

TEST_F(GuestSmcDaemon, AfterAKillReleaseFansClearsEveryForcedBitAndGivesTheMinimumBack) {
    // Fan 0 forced by another program beforehand, the driven fan by the daemon unless it only
    // raises its floor.
    ASSERT_TRUE(smc_.setBytes("FS! ", {0x00, 0x01}));
    startDaemon();
    ASSERT_TRUE(settled());
    EXPECT_EQ(daemon_->stop(SIGKILL), 128 + SIGKILL);
    const unsigned forced = floor_ ? 0x1u : 0x1u | fanBit();
    EXPECT_EQ(forcedMask(), forced);
    smc_.takeWrites();

    const auto released = tool({"--release-fans", "--state-dir", stateDir_});
    EXPECT_EQ(released.status, 0) << released.err;
    char mask[8];
    std::snprintf(mask, sizeof mask, "%04x", forced);
    EXPECT_NE(released.out.find(std::string("the forced mask was ") + mask), std::string::npos)
        << released.out;
    EXPECT_EQ(forcedMask(), 0u);
    // The daemon's last speed was the fan's minimum; the one it had before is back.
    EXPECT_EQ(smc_.bytesOf(fanKey("Mn")), key(fanKey("Mn"))->bytes);
    const auto writes = smc_.takeWrites();
    ASSERT_FALSE(writes.empty());
    for (const auto& w : writes) {
        if (w.key == "FS! ") continue;
        EXPECT_EQ(w.key, fanKey("Mn"));
        EXPECT_EQ(w.bytes, key(fanKey("Mn"))->bytes);
    }
    const auto lastMask =
        std::find_if(writes.rbegin(), writes.rend(), [](const auto& w) { return w.key == "FS! "; });
    ASSERT_NE(lastMask, writes.rend());
    EXPECT_EQ(lastMask->bytes, (Bytes{0x00, 0x00}));
}

TEST_F(GuestSmcDaemon, AnSmcThatDoesNotAnswerAtStartIsReportedAsFailingNotMissing) {
    ASSERT_TRUE(smc_.setFault("error"));
    const auto started = testing::runProgram(
        {kDaemon, "--bus", bus_.address(), "--hardware", "linux", "--state-dir", stateDir_});
    ASSERT_TRUE(smc_.setFault("none"));
    EXPECT_EQ(started.status, 1);
    EXPECT_NE(started.err.find("drivethermd: the Apple SMC driver is loaded, but the SMC does "
                               "not answer it"),
              std::string::npos)
        << started.err;
    EXPECT_TRUE(smc_.takeWrites().empty());
}

TEST_F(GuestSmcDaemon, AnSmcThatStopsAnsweringHoldsTheLoopNoLongerThanTheDriversTimeOut) {
    const unsigned maskBefore = forcedMask();
    startDaemon();
    ASSERT_TRUE(settled());
    BusClient client(bus_.address());
    for (const char* fault : {"busy", "error"}) {
        SCOPED_TRACE(fault);
        smc_.takeWrites();
        ASSERT_TRUE(smc_.setFault(fault));
        Clock::duration longest{};
        int calls = 0;
        for (const auto until = Clock::now() + std::chrono::seconds(3); Clock::now() < until;
             ++calls) {
            const auto took = client.timeBaseRpm();
            ASSERT_TRUE(took) << "the daemon stopped answering";
            longest = std::max(longest, *took);
        }
        const auto longestMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(longest).count();
        std::printf("figure smc %s: %d calls in 3 s, the longest answered in %lld ms\n", fault,
                    calls, static_cast<long long>(longestMs));
        EXPECT_LT(longest, kDriverTimeout + kEmulationSlack)
            << "the loop was held " << longestMs << " ms";
        for (const auto& w : smc_.takeWrites())
            EXPECT_FALSE(w.taken) << "a write went through: " << w.key;
        EXPECT_TRUE(daemon_->running());

        // Answering again: the loop takes up its writes.
        ASSERT_TRUE(smc_.setFault("none"));
        EXPECT_TRUE(eventually([&] {
            const auto writes = smc_.takeWrites();
            return std::any_of(writes.begin(), writes.end(), [&](const auto& w) {
                return w.key == fanKey("Mn") && w.bytes == fpe2(speed_);
            });
        }));
    }
    EXPECT_EQ(daemon_->stop(SIGTERM), 0);
    // Said once for each time the SMC went silent, not once a tick; as a failing SMC, which its
    // driver still serves, not as a missing one.
    const std::string out = daemon_->out();
    long reports = 0;
    for (std::size_t at = out.find("Error: IOServiceOpen() = "); at != std::string::npos;
         at = out.find("Error: IOServiceOpen() = ", at + 1)) {
        ++reports;
    }
    EXPECT_EQ(out.find("Error: no SMC found"), std::string::npos) << out;
    EXPECT_EQ(reports, 2) << out;
    EXPECT_EQ(forcedMask(), maskBefore) << "the fan was not handed back after the SMC came back";
}

}  // namespace
}  // namespace drivetherm::guest
