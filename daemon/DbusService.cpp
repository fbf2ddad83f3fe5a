// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/DbusService.h"

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cmath>
#include <cstring>
#include <iterator>

#include "common/Log.h"
#include "daemon/EventLoop.h"
#include "daemon/HDDDaemon.h"
#include "daemon/SimulatorControl.h"
#include "protocol/BusConnection.h"
#include "protocol/BusNames.h"
#include "protocol/DaemonInterface.h"
#include "protocol/SimulatorInterface.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "bus";
constexpr std::uint64_t kFirstReconnectDelayUsec = 1000000;
constexpr std::uint64_t kLongestReconnectDelayUsec = 30000000;

}  // namespace

// The method handlers, with access to the service.
struct DbusServiceMethods {
    static DbusService& self(void* userdata) { return *static_cast<DbusService*>(userdata); }
    static HDDDaemon& daemon(void* userdata) { return self(userdata).daemon_; }

    // Runs `apply` and answers the call once the caller is found privileged; refuses it with
    // AccessDenied otherwise, changing nothing.
    template <class Apply>
    static int authorizeThen(sd_bus_message* m, void* userdata, Apply apply) {
        sd_bus_message_ref(m);
        self(userdata).authorizer_.check(m, [m, apply](bool allowed, const std::string& reason) {
            if (allowed) {
                apply();
                sd_bus_reply_method_return(m, "");
            } else {
                sd_bus_reply_method_errorf(m, SD_BUS_ERROR_ACCESS_DENIED, "%s", reason.c_str());
            }
            sd_bus_message_unref(m);
        });
        return 1;
    }

    static int baseRpm(sd_bus_message* m, void* u, sd_bus_error*) {
        return sd_bus_reply_method_return(m, "i", std::int32_t{daemon(u).baseRpm()});
    }
    static int setBaseRpm(sd_bus_message* m, void* u, sd_bus_error*) {
        std::int32_t value = 0;
        int r = sd_bus_message_read(m, "i", &value);
        if (r < 0) return r;
        return authorizeThen(m, u, [u, value] { daemon(u).setBaseRpm(value); });
    }
    static int lowerThreshold(sd_bus_message* m, void* u, sd_bus_error*) {
        return sd_bus_reply_method_return(m, "d", double{daemon(u).lowerThreshold()});
    }
    static int setLowerThreshold(sd_bus_message* m, void* u, sd_bus_error*) {
        double value = 0;
        int r = sd_bus_message_read(m, "d", &value);
        if (r < 0) return r;
        return authorizeThen(
            m, u, [u, value] { daemon(u).setLowerThreshold(thresholdFromDouble(value)); });
    }
    static int upperThreshold(sd_bus_message* m, void* u, sd_bus_error*) {
        return sd_bus_reply_method_return(m, "d", double{daemon(u).upperThreshold()});
    }
    static int setUpperThreshold(sd_bus_message* m, void* u, sd_bus_error*) {
        double value = 0;
        int r = sd_bus_message_read(m, "d", &value);
        if (r < 0) return r;
        return authorizeThen(
            m, u, [u, value] { daemon(u).setUpperThreshold(thresholdFromDouble(value)); });
    }
    static int fahrenheit(sd_bus_message* m, void* u, sd_bus_error*) {
        return sd_bus_reply_method_return(m, "b", int{daemon(u).fahrenheit()});
    }
    static int setFahrenheit(sd_bus_message* m, void* u, sd_bus_error*) {
        int value = 0;
        int r = sd_bus_message_read(m, "b", &value);
        if (r < 0) return r;
        return authorizeThen(m, u, [u, value] { daemon(u).setFahrenheit(value != 0); });
    }
    static int pinToBase(sd_bus_message* m, void* u, sd_bus_error*) {
        return sd_bus_reply_method_return(m, "b", int{daemon(u).pinToBase()});
    }
    static int setPinToBase(sd_bus_message* m, void* u, sd_bus_error*) {
        int value = 0;
        int r = sd_bus_message_read(m, "b", &value);
        if (r < 0) return r;
        return authorizeThen(m, u, [u, value] { daemon(u).setPinToBase(value != 0); });
    }
    static int useAmbientTemp(sd_bus_message* m, void* u, sd_bus_error*) {
        return sd_bus_reply_method_return(m, "b", int{daemon(u).useAmbientTemp()});
    }
    static int setUseAmbientTemp(sd_bus_message* m, void* u, sd_bus_error*) {
        int value = 0;
        int r = sd_bus_message_read(m, "b", &value);
        if (r < 0) return r;
        return authorizeThen(m, u, [u, value] { daemon(u).setUseAmbientTemp(value != 0); });
    }
    static int hddName(sd_bus_message* m, void* u, sd_bus_error*) {
        const auto& name = daemon(u).HDDName();
        return sd_bus_reply_method_return(m, "s", name ? name->c_str() : "");
    }
    static int setHDDName(sd_bus_message* m, void* u, sd_bus_error* error) {
        const char* value = nullptr;
        int r = sd_bus_message_read(m, "s", &value);
        if (r < 0) return r;
        std::string why;
        if (!acceptableDriveName(value, why)) {
            return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, why.c_str());
        }
        std::optional<std::string> name;
        if (*value) name = value;  // the empty string stands for "no drive chosen"
        return authorizeThen(m, u, [u, name] { daemon(u).setHDDName(name); });
    }
    static int writeValues(sd_bus_message* m, void* u, sd_bus_error*) {
        return authorizeThen(m, u, [u] { daemon(u).writeValues(); });
    }
    static int fanRange(sd_bus_message* m, void* u, sd_bus_error*) {
        int minimum = 0;
        int maximum = 0;
        daemon(u).fanRange(&minimum, &maximum);
        return sd_bus_reply_method_return(m, "ii", std::int32_t{minimum}, std::int32_t{maximum});
    }
    static int controlledFan(sd_bus_message* m, void* u, sd_bus_error*) {
        const FanChoice& fan = daemon(u).controlledFan();
        return sd_bus_reply_method_return(m, "iss", std::int32_t{fan.index}, fan.label.c_str(),
                                          fan.modeName());
    }
    static int fanIndex(sd_bus_message* m, void* u, sd_bus_error*) {
        return sd_bus_reply_method_return(m, "i", std::int32_t{daemon(u).fanIndex()});
    }
    static int setFanIndex(sd_bus_message* m, void* u, sd_bus_error* error) {
        std::int32_t value = 0;
        int r = sd_bus_message_read(m, "i", &value);
        if (r < 0) return r;
        if (value < -1 || value >= FanChoice::kMostFans) {
            return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS,
                                     "a fan index is -1 (chosen by the fans' names) or 0 to %d",
                                     FanChoice::kMostFans - 1);
        }
        return authorizeThen(m, u, [u, value] { daemon(u).setFanIndex(value); });
    }

    static int measure(sd_bus_message* m, void* u, bool fresh) {
        int wantTemperature = 0;
        int wantFan = 0;
        int r = sd_bus_message_read(m, "bb", &wantTemperature, &wantFan);
        if (r < 0) return r;
        float t = 0.0f;
        int rpm = 0;
        if (fresh) {
            daemon(u).temperature(wantTemperature ? &t : nullptr, wantFan ? &rpm : nullptr);
        } else {
            daemon(u).lastTemperature(wantTemperature ? &t : nullptr, wantFan ? &rpm : nullptr);
        }
        return sd_bus_reply_method_return(m, "di", double{t}, std::int32_t{rpm});
    }
    static int temperature(sd_bus_message* m, void* u, sd_bus_error*) {
        return measure(m, u, true);
    }
    static int lastTemperature(sd_bus_message* m, void* u, sd_bus_error*) {
        return measure(m, u, false);
    }

    // ---- The simulated machine's inside ----
    static SimulatorControl& simulator(void* u) { return *self(u).simulator_; }

    static int readKey(sd_bus_message* m, void* u, sd_bus_error*) {
        const char* key = nullptr;
        int r = sd_bus_message_read(m, "s", &key);
        if (r < 0) return r;
        std::string type;
        std::vector<std::uint8_t> bytes;
        const kern_return_t status = simulator(u).readKey(key, type, bytes);
        sd_bus_message* reply = nullptr;
        r = sd_bus_message_new_method_return(m, &reply);
        if (r >= 0) r = sd_bus_message_append(reply, "us", std::uint32_t(status), type.c_str());
        if (r >= 0) r = sd_bus_message_append_array(reply, 'y', bytes.data(), bytes.size());
        if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    }
    static int setSensorTemperature(sd_bus_message* m, void* u, sd_bus_error* error) {
        const char* key = nullptr;
        double celsius = 0;
        int r = sd_bus_message_read(m, "sd", &key, &celsius);
        if (r < 0) return r;
        if (!std::isfinite(celsius)) {
            return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "temperature is not finite");
        }
        const std::string name = key;
        return authorizeThen(m, u, [u, name, celsius] {
            if (!simulator(u).setSensorTemperature(name, celsius)) {
                log::warning(kTag, "the simulated SMC has no sensor \"%s\"", name.c_str());
            }
        });
    }
    static int setDriveTemperature(sd_bus_message* m, void* u, sd_bus_error*) {
        const char* disk = nullptr;
        std::uint8_t celsius = 0;
        int r = sd_bus_message_read(m, "sy", &disk, &celsius);
        if (r < 0) return r;
        const std::string name = disk;
        return authorizeThen(m, u, [u, name, celsius] {
            if (!simulator(u).setDriveTemperature(name, celsius)) {
                log::warning(kTag, "the simulated machine has no drive \"%s\"", name.c_str());
            }
        });
    }
    static int driveReadCount(sd_bus_message* m, void* u, sd_bus_error*) {
        const char* disk = nullptr;
        int r = sd_bus_message_read(m, "s", &disk);
        if (r < 0) return r;
        return sd_bus_reply_method_return(m, "i", std::int32_t{simulator(u).driveReadCount(disk)});
    }
    static int setDriveFault(sd_bus_message* m, void* u, sd_bus_error*) {
        const char* disk = nullptr;
        const char* fault = nullptr;
        int r = sd_bus_message_read(m, "ss", &disk, &fault);
        if (r < 0) return r;
        const std::string name = disk;
        const std::string what = fault;
        return authorizeThen(m, u, [u, name, what] {
            if (!simulator(u).setDriveFault(name, what)) {
                log::warning(kTag, "cannot give drive \"%s\" the fault \"%s\"", name.c_str(),
                             what.c_str());
            }
        });
    }
};

namespace {

using M = DbusServiceMethods;
using D = DaemonInterface;
using S = SimulatorInterface;

// One method of the tables, served by `handler`. Every method is marked unprivileged: sd-bus
// would otherwise refuse every caller who is not root before the polkit check could let an
// administrator through; the setters ask the Authorizer themselves.
constexpr sd_bus_vtable served(const BusMethod& method, sd_bus_message_handler_t handler) {
    return SD_BUS_METHOD_WITH_NAMES_OFFSET(method.name, method.in, method.names, method.out,
                                           /* the names hold the reply's too */, handler, 0,
                                           SD_BUS_VTABLE_UNPRIVILEGED);
}

constexpr sd_bus_vtable kDaemonVtable[] = {
    SD_BUS_VTABLE_START(0),
    served(D::kBaseRpm, M::baseRpm),
    served(D::kSetBaseRpm, M::setBaseRpm),
    served(D::kLowerThreshold, M::lowerThreshold),
    served(D::kSetLowerThreshold, M::setLowerThreshold),
    served(D::kUpperThreshold, M::upperThreshold),
    served(D::kSetUpperThreshold, M::setUpperThreshold),
    served(D::kFahrenheit, M::fahrenheit),
    served(D::kSetFahrenheit, M::setFahrenheit),
    served(D::kTemperature, M::temperature),
    served(D::kLastTemperature, M::lastTemperature),
    served(D::kPinToBase, M::pinToBase),
    served(D::kSetPinToBase, M::setPinToBase),
    served(D::kHDDName, M::hddName),
    served(D::kSetHDDName, M::setHDDName),
    served(D::kUseAmbientTemp, M::useAmbientTemp),
    served(D::kSetUseAmbientTemp, M::setUseAmbientTemp),
    served(D::kWriteValues, M::writeValues),
    served(D::kFanRange, M::fanRange),
    served(D::kControlledFan, M::controlledFan),
    served(D::kFanIndex, M::fanIndex),
    served(D::kSetFanIndex, M::setFanIndex),
    SD_BUS_VTABLE_END,
};
static_assert(std::size(kDaemonVtable) == std::size(D::kMethods) + 2,
              "every method of DaemonInterface is served");

constexpr sd_bus_vtable kSimulatorVtable[] = {
    SD_BUS_VTABLE_START(0),
    served(S::kReadKey, M::readKey),
    served(S::kSetSensorTemperature, M::setSensorTemperature),
    served(S::kSetDriveTemperature, M::setDriveTemperature),
    served(S::kSetDriveFault, M::setDriveFault),
    served(S::kDriveReadCount, M::driveReadCount),
    SD_BUS_VTABLE_END,
};
static_assert(std::size(kSimulatorVtable) == std::size(S::kMethods) + 2,
              "every method of SimulatorInterface is served");

}  // namespace

DbusService::DbusService(EventLoop& loop, HDDDaemon& daemon, std::string busName,
                         SimulatorControl* simulator)
    : loop_(loop), daemon_(daemon), busName_(std::move(busName)), simulator_(simulator) {}

DbusService::~DbusService() {
    disconnect();
    sd_event_source_unref(reconnectTimer_);
}

void DbusService::start(std::function<void()> nameSettled) {
    nameSettled_ = std::move(nameSettled);
    if (!connect()) {
        scheduleReconnect();
        settleName();  // nothing to wait for
    }
}

void DbusService::settleName() {
    if (!nameSettled_) return;
    const std::function<void()> settled = std::move(nameSettled_);
    nameSettled_ = nullptr;
    settled();
}

bool DbusService::connect() {
    std::string error;
    sd_bus* bus = openBus(busName_, error);
    if (!bus) {
        if (!saidBusMissing_) {
            log::error(kTag, "%s; the fan is controlled all the same, and the daemon keeps trying",
                       error.c_str());
            saidBusMissing_ = true;
        }
        return false;
    }
    int r = sd_bus_attach_event(bus, loop_.event(), SD_EVENT_PRIORITY_NORMAL);
    if (r >= 0) {
        r = sd_bus_add_object_vtable(bus, &objectSlot_, bus::kObjectPath, D::kName, kDaemonVtable,
                                     this);
    }
    if (r >= 0 && simulator_) {
        r = sd_bus_add_object_vtable(bus, &simulatorSlot_, bus::kObjectPath, S::kName,
                                     kSimulatorVtable, this);
    }
    if (r >= 0) {
        r = sd_bus_match_signal(bus, &disconnectSlot_, "org.freedesktop.DBus.Local",
                                "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local",
                                "Disconnected", &DbusService::onDisconnected, this);
    }
    if (r >= 0) {
        r = sd_bus_request_name_async(bus, nullptr, bus::kServiceName, 0,
                                      &DbusService::onNameRequested, this);
    }
    if (r < 0) {
        log::error(kTag, "cannot serve on the bus: %s", std::strerror(-r));
        bus_ = bus;
        disconnect();
        return false;
    }
    bus_ = bus;
    if (saidBusMissing_) log::info(kTag, "connected to the bus again");
    saidBusMissing_ = false;
    reconnectDelayUsec_ = 0;
    return true;
}

void DbusService::disconnect() {
    objectSlot_ = sd_bus_slot_unref(objectSlot_);
    simulatorSlot_ = sd_bus_slot_unref(simulatorSlot_);
    disconnectSlot_ = sd_bus_slot_unref(disconnectSlot_);
    if (bus_) {
        sd_bus_detach_event(bus_);
        bus_ = sd_bus_flush_close_unref(bus_);
    }
}

void DbusService::scheduleReconnect() {
    reconnectDelayUsec_ = reconnectDelayUsec_ == 0
                              ? kFirstReconnectDelayUsec
                              : std::min(reconnectDelayUsec_ * 2, kLongestReconnectDelayUsec);
    std::uint64_t now = 0;
    sd_event_now(loop_.event(), CLOCK_MONOTONIC, &now);
    if (!reconnectTimer_) {
        sd_event_add_time(loop_.event(), &reconnectTimer_, CLOCK_MONOTONIC,
                          now + reconnectDelayUsec_, 100000, &DbusService::onReconnectTimer, this);
    } else {
        sd_event_source_set_time(reconnectTimer_, now + reconnectDelayUsec_);
        sd_event_source_set_enabled(reconnectTimer_, SD_EVENT_ONESHOT);
    }
}

int DbusService::onReconnectTimer(sd_event_source*, std::uint64_t, void* userdata) {
    auto* self = static_cast<DbusService*>(userdata);
    self->disconnect();  // the dead connection, if any, is dropped here, outside its own callbacks
    if (!self->connect()) self->scheduleReconnect();
    return 0;
}

int DbusService::onDisconnected(sd_bus_message*, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DbusService*>(userdata);
    log::error(kTag, "lost the bus; the fan is controlled all the same, reconnecting");
    self->saidBusMissing_ = true;
    self->scheduleReconnect();
    return 0;
}

int DbusService::onNameRequested(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    constexpr std::uint32_t kPrimaryOwner = 1;
    constexpr std::uint32_t kAlreadyOwner = 4;
    std::string why;
    if (const sd_bus_error* e = sd_bus_message_get_error(reply)) {
        why = e->message ? e->message : e->name;
    } else {
        std::uint32_t answer = 0;
        if (sd_bus_message_read(reply, "u", &answer) < 0) {
            why = "no answer";
        } else if (answer != kPrimaryOwner && answer != kAlreadyOwner) {
            why = "another process owns it";
        }
    }
    if (!why.empty()) {
        log::error(kTag,
                   "cannot own the name %s on the bus (%s): is another drivethermd running? The "
                   "fan is controlled all the same, but no client can reach this daemon",
                   bus::kServiceName, why.c_str());
    } else {
        log::debug(kTag, "serving %s", bus::kServiceName);
    }
    static_cast<DbusService*>(userdata)->settleName();
    return 0;
}

}  // namespace drivetherm
