// SPDX-License-Identifier: GPL-2.0-or-later
#include <grp.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <tuple>

#include "protocol/SimulatorInterface.h"
#include "tests/integration/daemon/DaemonFixture.h"
#include "tests/support/BusInterfaceDocument.h"

namespace drivetherm::testing {
namespace {

constexpr uid_t kNobody = 65534;

// The ramp closes a sixth of the gap a tick and stops once the gap is 119 rpm or less.
bool rampedTo(int rpm, int target) {
    return rpm <= target && target - rpm < 120;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `body` in a child process as the unprivileged user "nobody"; returns its exit code.
int asNobody(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

enum ChildResult { kChanged = 0, kRefused = 3, kOtherError = 4, kNoDaemon = 5 };

int trySetBaseRpm(const std::string& address, int rpm) {
    DaemonProxy daemon = DbusDaemonClient::bind(address);
    if (daemon.isNone()) return kNoDaemon;
    try {
        if (daemon.baseRpm() != 1100) return kOtherError;  // reading is open to everyone
        daemon.setBaseRpm(rpm);
        return kChanged;
    } catch (const DaemonRefused&) {
        return kRefused;
    } catch (const DaemonError&) {
        return kOtherError;
    }
}

using DaemonService = DaemonFixture;

TEST_F(DaemonService, EverySettingRoundTripsThroughTheBus) {
    startDaemon();
    DaemonProxy daemon = client();
    ASSERT_FALSE(daemon.isNone());
    EXPECT_EQ(daemon.baseRpm(), 1100);
    EXPECT_EQ(daemon.HDDName(), std::string());

    daemon.setBaseRpm(1300);
    daemon.setLowerThreshold(45.5f);
    daemon.setUpperThreshold(61.0f);
    daemon.setFahrenheit(true);
    daemon.setPinToBase(true);
    daemon.setHDDName("WDC WD10EZEX-08M2NA0");
    daemon.setUseAmbientTemp(true);
    daemon.writeValues();

    EXPECT_EQ(daemon.baseRpm(), 1300);
    EXPECT_EQ(daemon.lowerThreshold(), 45.5f);
    EXPECT_EQ(daemon.upperThreshold(), 61.0f);
    EXPECT_TRUE(daemon.fahrenheit());
    EXPECT_TRUE(daemon.pinToBase());
    EXPECT_EQ(daemon.HDDName(), "WDC WD10EZEX-08M2NA0");
    EXPECT_TRUE(daemon.useAmbientTemp());
    daemon.setHDDName(std::nullopt);
    EXPECT_EQ(daemon.HDDName(), std::string());
}

TEST_F(DaemonService, MeasurementsAnswerTheDiskAndTheFan) {
    startDaemon();
    DaemonProxy daemon = client();
    ASSERT_TRUE(eventually([&] {
        float last = 0;
        daemon.lastTemperature(&last, nullptr);
        return last == 45.0f;
    }));
    float t = 0;
    int rpm = 0;
    daemon.temperature(&t, &rpm);
    EXPECT_EQ(t, 45.0f);
    EXPECT_EQ(rpm, 1100);
    // The curve for 45 °C is the base speed: written as minimum and maximum.
    EXPECT_EQ(smcRpm("F1Mn"), 1100);
    EXPECT_EQ(smcRpm("F1Mx"), 1100);
}

TEST_F(DaemonService, AFanOnlyQueryNeverTouchesTheDrive) {
    startDaemon(1000);  // one check at start, the next a minute later
    DaemonProxy daemon = client();
    ASSERT_TRUE(eventually([&] { return simulator()->driveReadCount("disk0") == 1; }));
    for (int i = 0; i < 20; ++i) {
        int rpm = 0;
        daemon.temperature(nullptr, &rpm);
        daemon.lastTemperature(nullptr, &rpm);
        EXPECT_EQ(rpm, 1100);
    }
    EXPECT_EQ(simulator()->driveReadCount("disk0"), 1);
    float t = 0;
    daemon.temperature(&t, nullptr);
    EXPECT_EQ(simulator()->driveReadCount("disk0"), 2);
    for (int i = 0; i < 20; ++i) daemon.temperature(&t, nullptr);  // answered from the last read
    EXPECT_EQ(simulator()->driveReadCount("disk0"), 2);
}

TEST_F(DaemonService, SettingsAreStoredAtTheEndOfTheTickAndLoadedAfterARestart) {
    startDaemon();
    {
        DaemonProxy daemon = client();
        daemon.setBaseRpm(1250);
        daemon.setUpperThreshold(57.25f);
    }
    // The two calls may fall on either side of a tick, so the file can hold
    // the first value a tick before the second.
    ASSERT_TRUE(eventually([&] {
        const std::string stored = readFile(settingsFile());
        return stored.find("<integer>1250</integer>") != std::string::npos &&
               stored.find("<real>57.25</real>") != std::string::npos;
    }));
    ASSERT_EQ(WEXITSTATUS(stopDaemon()), 0);

    startDaemon();
    DaemonProxy daemon = client();
    EXPECT_EQ(daemon.baseRpm(), 1250);
    EXPECT_EQ(daemon.upperThreshold(), 57.25f);
}

TEST_F(DaemonService, ASettingsFileRemovedOrEditedBehindTheDaemonIsWrittenAgain) {
    startDaemon();
    DaemonProxy daemon = client();
    daemon.setBaseRpm(1250);
    ASSERT_TRUE(eventually([&] {
        return readFile(settingsFile()).find("<integer>1250</integer>") != std::string::npos;
    }));
    const std::string written = readFile(settingsFile());

    std::filesystem::remove(settingsFile());
    daemon.writeValues();
    EXPECT_EQ(readFile(settingsFile()), written);

    std::string edited = written;
    edited.replace(edited.find("1250"), 4, "9999");
    std::ofstream(settingsFile()) << edited;
    daemon.writeValues();
    EXPECT_EQ(readFile(settingsFile()), written);

    // Removed again: the next store, at the end of the tick after a setter, brings it back.
    std::filesystem::remove(settingsFile());
    daemon.setFahrenheit(false);
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(settingsFile()); }));
}

TEST_F(DaemonService, KilledDuringStoresTheDaemonLeavesOnlyTheSettingsFile) {
    const std::string prefix = "com.quillmoor.Drivetherm.plist.";
    const auto temporaries = [&] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(state_)) {
            const std::string name = entry.path().filename().string();
            count += name.size() == prefix.size() + 6 && name.starts_with(prefix);
        }
        return count;
    };
    int leftByAKill = 0;
    int changed = 0;  // rounds whose kill found the file changed: stores were under way
    std::set<int> set = {1100};
    std::string before;
    for (int round = 0; round < 30; ++round) {
        startDaemon(10);
        DaemonProxy daemon = client();
        // Setters as fast as they are answered, each stored at the end of the next tick, until
        // a kill at some point of a store.
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(round % 10 * 5);
        do {
            const int base = 1000 + round * 100 + std::rand() % 100;
            daemon.setBaseRpm(base);
            set.insert(base);
        } while (std::chrono::steady_clock::now() < until);
        stopDaemon(SIGKILL);
        leftByAKill += temporaries();
        // Whatever the moment, the file is whole: one of the values set, or none yet.
        const std::string stored = readFile(settingsFile());
        if (!stored.empty()) {
            ASSERT_NE(stored.find("</plist>"), std::string::npos) << stored;
        }
        changed += stored != before;
        before = stored;
    }
    startDaemon();
    EXPECT_EQ(temporaries(), 0) << "left by the kills: " << leftByAKill;
    EXPECT_EQ(set.count(client().baseRpm()), 1u);
    EXPECT_GE(changed, 10);
    std::printf(
        "30 kills: the file changed before %d of them; %d temporary files left, all "
        "removed at the next start\n",
        changed, leftByAKill);
}

TEST_F(DaemonService, TwoSettersInABurstAreStoredTogether) {
    startDaemon(500);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, state_.c_str(), IN_MOVED_TO), 0);
    {
        DaemonProxy daemon = client();
        daemon.setLowerThreshold(44.0f);
        daemon.setUpperThreshold(52.0f);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    char buffer[4096];
    int renames = 0;
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            renames += event->len && std::string(event->name) == "com.quillmoor.Drivetherm.plist";
            p += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    EXPECT_EQ(renames, 1);
    const std::string stored = readFile(settingsFile());
    EXPECT_NE(stored.find("<real>44</real>"), std::string::npos);
    EXPECT_NE(stored.find("<real>52</real>"), std::string::npos);
}

TEST_F(DaemonService, AnUnprivilegedCallerIsRefusedWithoutPolkit) {
    startDaemon();
    const std::string address = bus_.address();
    EXPECT_EQ(asNobody([&] { return trySetBaseRpm(address, 900); }), kRefused);
    EXPECT_EQ(client().baseRpm(), 1100);
}

// Calls every method the tables mark privileged with zero values as an unprivileged caller;
// the number of calls not refused with AccessDenied.
int callsNotRefused(const std::string& address) {
    sd_bus* bus = nullptr;
    sd_bus_new(&bus);
    sd_bus_set_address(bus, address.c_str());
    sd_bus_set_bus_client(bus, 1);
    if (sd_bus_start(bus) < 0) return 99;
    int notRefused = 0;
    for (const auto& [interface, methods] :
         {std::pair{DaemonInterface::kName, std::span<const BusMethod>(DaemonInterface::kMethods)},
          std::pair{SimulatorInterface::kName,
                    std::span<const BusMethod>(SimulatorInterface::kMethods)}}) {
        for (const BusMethod& method : methods) {
            if (!method.privileged) continue;
            sd_bus_message* request = nullptr;
            sd_bus_message_new_method_call(bus, &request, bus::kServiceName, bus::kObjectPath,
                                           interface, method.name);
            const std::uint64_t zero = 0;
            for (const char* type = method.in; *type; ++type) {
                const void* value = *type == 's' ? static_cast<const void*>("") : &zero;
                sd_bus_message_append_basic(request, *type, value);
            }
            sd_bus_error error = SD_BUS_ERROR_NULL;
            if (sd_bus_call(bus, request, 30000000, &error, nullptr) >= 0 ||
                !sd_bus_error_has_name(&error, SD_BUS_ERROR_ACCESS_DENIED)) {
                std::fprintf(stderr, "%s was not refused\n", method.name);
                ++notRefused;
            }
            sd_bus_error_free(&error);
            sd_bus_message_unref(request);
        }
    }
    sd_bus_flush_close_unref(bus);
    return notRefused;
}

TEST_F(DaemonService, EveryPrivilegedMethodRefusesAnUnprivilegedCaller) {
    startDaemon();
    const std::string address = bus_.address();
    EXPECT_EQ(asNobody([&] { return callsNotRefused(address); }), 0);
}

TEST_F(DaemonService, TheLiveDaemonServesExactlyTheMethodsOfTheTables) {
    startDaemon();
    sd_bus* bus = nullptr;
    sd_bus_new(&bus);
    sd_bus_set_address(bus, bus_.address().c_str());
    sd_bus_set_bus_client(bus, 1);
    ASSERT_GE(sd_bus_start(bus), 0);
    sd_bus_message* reply = nullptr;
    ASSERT_GE(sd_bus_call_method(bus, bus::kServiceName, bus::kObjectPath,
                                 "org.freedesktop.DBus.Introspectable", "Introspect", nullptr,
                                 &reply, ""),
              0);
    const char* xml = nullptr;
    ASSERT_GE(sd_bus_message_read(reply, "s", &xml), 0);
    const auto interfaces = parseIntrospection(xml);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);

    ASSERT_TRUE(interfaces.count(DaemonInterface::kName)) << xml;
    ASSERT_TRUE(interfaces.count(SimulatorInterface::kName)) << xml;
    EXPECT_EQ(
        introspectionDifferences(DaemonInterface::kMethods, interfaces.at(DaemonInterface::kName)),
        "");
    EXPECT_EQ(introspectionDifferences(SimulatorInterface::kMethods,
                                       interfaces.at(SimulatorInterface::kName)),
              "");
}

TEST_F(DaemonService, PolkitDecidesForAnUnprivilegedCaller) {
    ChildProcess polkit("/usr/bin/python3", {"-m", "dbusmock", "--template", "polkitd"},
                        state_ + ".polkit.log", {"DBUS_SYSTEM_BUS_ADDRESS=" + bus_.address()});
    ASSERT_TRUE(waitForName(bus_.address(), "org.freedesktop.PolicyKit1")) << polkit.log();
    startDaemon();
    const std::string address = bus_.address();
    EXPECT_EQ(asNobody([&] { return trySetBaseRpm(address, 900); }), kRefused);

    sd_bus* bus = nullptr;
    sd_bus_new(&bus);
    sd_bus_set_address(bus, address.c_str());
    sd_bus_set_bus_client(bus, 1);
    ASSERT_GE(sd_bus_start(bus), 0);
    ASSERT_GE(
        sd_bus_call_method(bus, "org.freedesktop.PolicyKit1",
                           "/org/freedesktop/PolicyKit1/Authority", "org.freedesktop.DBus.Mock",
                           "SetAllowed", nullptr, nullptr, "as", 1, bus::kConfigureAction),
        0);
    sd_bus_flush_close_unref(bus);

    EXPECT_EQ(asNobody([&] { return trySetBaseRpm(address, 900); }), kChanged);
    EXPECT_EQ(client().baseRpm(), 900);
}

TEST_F(DaemonService, ADriveNameThatIsNoModelStringIsRefusedAsInvalid) {
    startDaemon();
    const std::string tooLong(256, 'x');
    const std::string withNewline = "WDC\nrm -rf";
    for (const std::string& name : {tooLong, withNewline}) {
        EXPECT_EQ(
            rawCall(DaemonInterface::kSetHDDName,
                    [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", name.c_str()); }),
            SD_BUS_ERROR_INVALID_ARGS);
    }
    EXPECT_EQ(client().HDDName(), std::string());
    const std::string longest(255, 'x');
    EXPECT_EQ(
        rawCall(DaemonInterface::kSetHDDName,
                [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", longest.c_str()); }),
        "");
}

TEST_F(DaemonService, WildValuesNeverMakeTheLoopWriteOutsideTheFanRange) {
    startDaemon();
    DaemonProxy daemon = client();
    // The HDD fan's own range is 1100 to 6000 rpm.
    daemon.setBaseRpm(std::numeric_limits<int>::max());
    daemon.setPinToBase(true);
    ASSERT_TRUE(eventually([&] { return smcRpm("F1Mn") == 6000; }));
    daemon.setBaseRpm(std::numeric_limits<int>::min());
    ASSERT_TRUE(eventually([&] { return smcRpm("F1Mn") == 1100; }, std::chrono::seconds(20)));

    daemon.setPinToBase(false);
    daemon.setBaseRpm(1100);
    ASSERT_EQ(
        rawCall(DaemonInterface::kSetLowerThreshold,
                [](sd_bus_message* m) { return sd_bus_message_append(m, "d", std::nan("")); }),
        "");
    ASSERT_EQ(rawCall(DaemonInterface::kSetUpperThreshold,
                      [](sd_bus_message* m) { return sd_bus_message_append(m, "d", 1e300); }),
              "");
    EXPECT_TRUE(std::isnan(daemon.lowerThreshold()));
    EXPECT_TRUE(std::isinf(daemon.upperThreshold()));
    // A curve that cannot place the disk runs the fan at full speed.
    ASSERT_TRUE(
        eventually([&] { return rampedTo(smcRpm("F1Mn"), 6000); }, std::chrono::seconds(20)));

    // The settings file still loads.
    ASSERT_EQ(WEXITSTATUS(stopDaemon()), 0);
    startDaemon();
    EXPECT_TRUE(std::isinf(client().upperThreshold()));
    EXPECT_EQ(client().baseRpm(), 1100);
}

TEST_F(DaemonService, TheDrivenFanItsRangeAndTheStoredChoiceAreServedAndFollowed) {
    startDaemon();
    DaemonProxy daemon = client();
    const ControlledFan hdd = daemon.controlledFan();
    EXPECT_EQ(std::tie(hdd.index, hdd.label, hdd.mode), std::tuple(1, "HDD", "forced"));
    int minimum = 0, maximum = 0;
    daemon.fanRange(&minimum, &maximum);
    EXPECT_EQ(std::pair(minimum, maximum), std::pair(1100, 6000));
    EXPECT_EQ(daemon.fanIndex(), -1);
    EXPECT_THROW(daemon.setFanIndex(10), DaemonRefused);

    // Fan 0 named: fan 1 goes back to the SMC with its own limits, fan 0 is held at the base
    // speed inside its own range of 1150 to 2700 rpm.
    ASSERT_TRUE(eventually([&] { return smcRpm("F1Mx") == 1100; }));
    daemon.setFanIndex(0);
    ASSERT_TRUE(eventually([&] { return daemon.controlledFan().index == 0; }));
    EXPECT_TRUE(eventually([&] { return smcRpm("F0Mn") == 1150 && smcRpm("F0Mx") == 1150; }));
    EXPECT_EQ(smcRpm("F1Mx"), 6000);
    daemon.fanRange(&minimum, &maximum);
    EXPECT_EQ(std::pair(minimum, maximum), std::pair(1150, 2700));
    int rpm = 0;
    daemon.lastTemperature(nullptr, &rpm);
    EXPECT_EQ(rpm, 1150);  // fan 0's actual speed

    ASSERT_EQ(WEXITSTATUS(stopDaemon()), 0);
    startDaemon();
    EXPECT_EQ(client().fanIndex(), 0);
    EXPECT_EQ(client().controlledFan().label, "ODD");
}

TEST_F(DaemonService, ElevenChecksWithoutAnyReadingDriveTheFanAtFullSpeed) {
    startDaemon(10);
    simulator()->setDriveFault("disk0", "no-attribute");
    for (const char* key : {"TA0P", "TC0D", "TC0H", "TC0P", "TL0P", "TO0P", "Tp1P"}) {
        simulator()->setSensorTemperature(key, 0.0);
    }
    // Ten checks keep the curve's speed for 0 °C (the base), the eleventh goes to full speed.
    EXPECT_EQ(smcRpm("F1Mn"), 1100);
    ASSERT_TRUE(
        eventually([&] { return rampedTo(smcRpm("F1Mn"), 6000); }, std::chrono::seconds(30)));
    // One reading brings the curve back.
    simulator()->setDriveFault("disk0", "none");
    ASSERT_TRUE(eventually([&] { return smcRpm("F1Mn") < 1220; }, std::chrono::seconds(30)));
}

TEST_F(DaemonService, ADiskThatTimesOutFallsBackToTheSensors) {
    startDaemon(20);
    simulator()->setDriveTemperature("disk0", 54);
    ASSERT_TRUE(
        eventually([&] { return rampedTo(smcRpm("F1Mn"), 3550); }, std::chrono::seconds(10)));
    simulator()->setDriveFault("disk0", "timeout");
    // Six attempts a second apart, then the sensors' 40 °C: the base speed.
    ASSERT_TRUE(eventually([&] { return smcRpm("F1Mn") < 1220; }, std::chrono::seconds(20)));
    float last = 0;
    client().lastTemperature(&last, nullptr);
    EXPECT_EQ(last, 40.0f);
}

TEST_F(DaemonService, ASecondDaemonWithoutTheNameKeepsControllingTheFan) {
    startDaemon();
    const std::string secondLog = state_ + ".second.log";
    const std::string secondState = makeTemporaryDirectory("drivetherm-second");
    ChildProcess second(program(),
                        {"--bus", bus_.address(), "--hardware", "sim:" + machine(), "--state-dir",
                         secondState, "--tick-interval", "20"},
                        secondLog);
    ASSERT_TRUE(eventually([&] {
        return second.log().find("cannot own the name") != std::string::npos;
    })) << second.log();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(second.running());
    EXPECT_EQ(second.log().find("cannot own the name"), second.log().rfind("cannot own the name"))
        << "said once";
    second.stop(SIGTERM);
    std::filesystem::remove_all(secondState);
    std::filesystem::remove(secondLog);
}

TEST_F(DaemonService, TheDaemonOutlivesTheBusAndComesBackWithIt) {
    startDaemon(20);
    bus_.stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(daemon_->running());
    bus_.start();
    ASSERT_TRUE(waitForName(bus_.address(), bus::kServiceName, 40000)) << daemon_->log();
    EXPECT_EQ(client().baseRpm(), 1100);
    EXPECT_NE(daemon_->log().find("lost the bus"), std::string::npos);
}

TEST_F(DaemonService, AClientStartedBeforeTheDaemonGetsZerosAndNoError) {
    DaemonProxy early = client();
    EXPECT_TRUE(early.isNone());
    EXPECT_EQ(early.baseRpm(), 0);
    EXPECT_FALSE(early.fahrenheit());
    EXPECT_FALSE(early.HDDName().has_value());
    startDaemon();
    EXPECT_FALSE(client().isNone());
}

TEST_F(DaemonService, ACallAfterTheDaemonWentAwayRaises) {
    startDaemon();
    DaemonProxy daemon = client();
    ASSERT_EQ(daemon.baseRpm(), 1100);
    stopDaemon();
    float t = 0;
    int rpm = 0;
    EXPECT_THROW(daemon.lastTemperature(&t, &rpm), DaemonConnectionLost);
}

}  // namespace
}  // namespace drivetherm::testing
