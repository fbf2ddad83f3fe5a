// SPDX-License-Identifier: GPL-2.0-or-later
// The daemon's bus methods as a hostile client calls them. The daemon object is served by the
// real DbusService on a private dbus-daemon (started once), over a fake machine and a settings
// file on a memory file system; a client on the same bus sends each input's calls: any method of
// the daemon's table or the simulator's (or a name that is none), with the right argument
// signature or another one, the values chosen by the input (every double bit pattern, strings
// of any length and content that a bus carries). Every call must be answered: a getter and a
// well-formed measurement with its reply signature, a call of the wrong signature with an error,
// and the daemon must still answer all of its getters afterwards. Each input starts from the
// default settings. The process runs as the daemon's own user, so the setters are let through
// and reach the daemon.
#include <fuzzer/FuzzedDataProvider.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Log.h"
#include "daemon/DbusService.h"
#include "daemon/EventLoop.h"
#include "daemon/HDDDaemon.h"
#include "daemon/PlistPreferenceStore.h"
#include "daemon/SimulatorControl.h"
#include "fuzz/FuzzCheck.h"
#include "hardware/smc/sim/SimSmcController.h"
#include "protocol/BusConnection.h"
#include "protocol/BusNames.h"
#include "protocol/DaemonInterface.h"
#include "protocol/SimulatorInterface.h"
#include "tests/support/PrivateBus.h"
#include "tests/unit/daemon/FakeDaemonHardware.h"

namespace {

using namespace drivetherm;

// The simulator's inside, over an in-memory SMC and two drives.
class FakeSimulator final : public SimulatorControl {
public:
    FakeSimulator() {
        smc.setKey("TH0O", "sp78", {0x21, 0x00});
        smc.setKey("F1Ac", "fpe2", {0x11, 0x80});
    }
    kern_return_t readKey(const std::string& key, std::string& type,
                          std::vector<std::uint8_t>& bytes) override {
        return smc.readKey(key, type, bytes);
    }
    bool setSensorTemperature(const std::string& key, double celsius) override {
        return smc.setSensorTemperature(key, celsius);
    }
    bool setDriveTemperature(const std::string& bsdName, std::uint8_t celsius) override {
        const auto drive = drives.find(bsdName);
        if (drive == drives.end()) return false;
        drive->second = celsius;
        return true;
    }
    bool setDriveFault(const std::string& bsdName, const std::string& fault) override {
        return drives.count(bsdName) != 0 && (fault == "none" || fault == "timeout");
    }
    int driveReadCount(const std::string& bsdName) override {
        return drives.count(bsdName) != 0 ? 0 : -1;
    }

    SimSmcController smc;
    std::map<std::string, std::uint8_t> drives{{"disk0", 44}, {"disk1", 31}};
};

struct World {
    testing::PrivateBus bus;
    std::string stateDirectory;
    testing::FakeDaemonHardware hardware;
    std::unique_ptr<PlistPreferenceStore> store;
    std::unique_ptr<HDDDaemon> daemon;
    FakeSimulator simulator;
    EventLoop loop;
    std::unique_ptr<DbusService> service;
    sd_bus* client = nullptr;
};

World* world = nullptr;

void endWorld() {
    if (!world) return;
    sd_bus_flush_close_unref(world->client);
    world->service.reset();
    world->daemon.reset();
    world->store.reset();
    std::remove((world->stateDirectory + "/com.quillmoor.Drivetherm.plist").c_str());
    ::rmdir(world->stateDirectory.c_str());
    delete world;
    world = nullptr;
}

// One call on its way: what it was, and what came back.
struct Call {
    const BusMethod* method = nullptr;  // null: a name no interface has
    bool rightSignature = false;
    bool answered = false;
    bool error = false;
    std::string errorName;
    std::string replySignature;
};

int onReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* call = static_cast<Call*>(userdata);
    call->answered = true;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        call->error = true;
        call->errorName = error->name ? error->name : "";
    } else {
        const char* signature = sd_bus_message_get_signature(reply, 1);
        call->replySignature = signature ? signature : "";
    }
    return 0;
}

// Appends one value of D-Bus type `type` taken from the input; false when sd-bus refuses it
// (a string that is not UTF-8 cannot be sent, so no client can make the daemon read one).
bool appendValue(sd_bus_message* m, char type, FuzzedDataProvider& input) {
    switch (type) {
        case 'i': {
            const auto value = input.ConsumeIntegral<std::int32_t>();
            return sd_bus_message_append_basic(m, type, &value) >= 0;
        }
        case 'b': {
            const int value = input.ConsumeIntegral<std::uint8_t>();
            return sd_bus_message_append_basic(m, type, &value) >= 0;
        }
        case 'd': {
            // Any bit pattern: NaNs, infinities, denormals.
            const auto bits = input.ConsumeIntegral<std::uint64_t>();
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return sd_bus_message_append_basic(m, type, &value) >= 0;
        }
        case 'y': {
            const auto value = input.ConsumeIntegral<std::uint8_t>();
            return sd_bus_message_append_basic(m, type, &value) >= 0;
        }
        case 'u': {
            const auto value = input.ConsumeIntegral<std::uint32_t>();
            return sd_bus_message_append_basic(m, type, &value) >= 0;
        }
        case 'x': {
            const auto value = input.ConsumeIntegral<std::int64_t>();
            return sd_bus_message_append_basic(m, type, &value) >= 0;
        }
        case 's': {
            const std::string value =
                input.ConsumeRandomLengthString(input.ConsumeBool() ? 16 : 1000);
            return sd_bus_message_append_basic(m, type, value.c_str()) >= 0;
        }
        default:
            return false;
    }
}

void resetSettings(HDDDaemon& daemon) {
    daemon.setBaseRpm(1100);
    daemon.setLowerThreshold(50.0f);
    daemon.setUpperThreshold(58.0f);
    daemon.setFahrenheit(false);
    daemon.setPinToBase(false);
    daemon.setHDDName(std::nullopt);
    daemon.setUseAmbientTemp(false);
    daemon.setFanIndex(-1);
}

// Runs the loop until every call is answered.
void pump(const std::vector<std::unique_ptr<Call>>& calls) {
    for (int round = 0; round < 100000; ++round) {
        bool all = true;
        for (const auto& call : calls) all = all && call->answered;
        if (all) return;
        sd_event_run(world->loop.event(), 100000);
    }
    check(!"every call is answered");
}

std::unique_ptr<Call> send(const char* interface, const char* member, const BusMethod* method,
                           const std::string& signature, FuzzedDataProvider& input) {
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(world->client, &m, bus::kServiceName, bus::kObjectPath,
                                       interface, member) < 0) {
        return nullptr;
    }
    for (const char type : signature) {
        if (!appendValue(m, type, input)) {
            sd_bus_message_unref(m);
            return nullptr;
        }
    }
    auto call = std::make_unique<Call>();
    call->method = method;
    call->rightSignature = method && signature == method->in;
    const int r = sd_bus_call_async(world->client, nullptr, m, onReply, call.get(), 10000000);
    sd_bus_message_unref(m);
    if (r < 0) return nullptr;
    return call;
}

void checkAnswer(const Call& call) {
    check(call.answered);
    if (!call.method || !call.rightSignature) {
        check(call.error);
        return;
    }
    if (!call.error) {
        check(call.replySignature == call.method->out);
        return;
    }
    // A setter may refuse its value (a drive name, a fan index, a simulated sensor's temperature
    // that is not finite); nothing else may fail.
    check(call.errorName == SD_BUS_ERROR_INVALID_ARGS);
    check(std::strcmp(call.method->in, "s") == 0 || std::strcmp(call.method->in, "i") == 0 ||
          std::strcmp(call.method->in, "sd") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    log::setLevel(log::Level::Error);
    world = new World();
    // TMPDIR first: run-fuzzers points it at a memory file system of its own, removed afterwards
    // with whatever a crashed run left.
    const char* base = std::getenv("TMPDIR");
    if (!base && ::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    std::string pattern = std::string(base ? base : "/tmp") + "/drivetherm-fuzz-bus.XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr);
    world->stateDirectory = pattern;
    world->hardware.drives["disk0"] = 47;
    world->hardware.models = {{"WDC WD10EZEX-08M2NA0", "disk0"}};
    world->store =
        std::make_unique<PlistPreferenceStore>(world->stateDirectory, "com.quillmoor.Drivetherm");
    world->daemon = std::make_unique<HDDDaemon>(world->hardware, *world->store);
    world->daemon->readPreferences();
    world->service = std::make_unique<DbusService>(world->loop, *world->daemon,
                                                   world->bus.address(), &world->simulator);
    world->service->start();
    std::string error;
    world->client = openBus(world->bus.address(), error);
    check(world->client != nullptr);
    check(sd_bus_attach_event(world->client, world->loop.event(), 0) >= 0);
    for (int round = 0; round < 200; ++round) {
        if (sd_bus_get_name_creds(world->client, bus::kServiceName, 0, nullptr) >= 0) break;
        sd_event_run(world->loop.event(), 10000);
    }
    std::atexit(endWorld);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    resetSettings(*world->daemon);

    std::vector<std::unique_ptr<Call>> calls;
    static constexpr char kTypes[] = {'i', 'b', 'd', 's', 'y', 'u', 'x'};
    constexpr std::size_t kDaemonMethods = std::size(DaemonInterface::kMethods);
    constexpr std::size_t kAllMethods = kDaemonMethods + std::size(SimulatorInterface::kMethods);
    for (int n = 0; n < 8 && input.remaining_bytes() > 0; ++n) {
        const std::size_t which = input.ConsumeIntegralInRange<std::size_t>(0, kAllMethods);
        const BusMethod* method = nullptr;
        const char* interface = DaemonInterface::kName;
        std::string member;
        if (which < kDaemonMethods) {
            method = &DaemonInterface::kMethods[which];
        } else if (which < kAllMethods) {
            method = &SimulatorInterface::kMethods[which - kDaemonMethods];
            interface = SimulatorInterface::kName;
        }
        member = method ? method->name : "Frobnicate";
        std::string signature = method ? method->in : "";
        if (input.ConsumeIntegralInRange(0, 3) == 0) {
            signature.clear();
            const int length = input.ConsumeIntegralInRange(0, 3);
            for (int i = 0; i < length; ++i) signature += input.PickValueInArray(kTypes);
        }
        if (auto call = send(interface, member.c_str(), method, signature, input)) {
            calls.push_back(std::move(call));
        }
    }
    // Then every getter, which must answer whatever the calls above set.
    for (const BusMethod& method : DaemonInterface::kMethods) {
        if (method.in[0] == '\0' && !method.privileged) {
            FuzzedDataProvider none(nullptr, 0);
            calls.push_back(send(DaemonInterface::kName, method.name, &method, "", none));
            check(calls.back() != nullptr);
        }
    }
    pump(calls);
    for (const auto& call : calls) checkAnswer(*call);
    return 0;
}
