// SPDX-License-Identifier: GPL-2.0-or-later
#include "protocol/DbusDaemonClient.h"

#include <systemd/sd-bus.h>

#include <cstdarg>
#include <cstring>
#include <memory>

#include "protocol/BusConnection.h"
#include "protocol/BusNames.h"

namespace drivetherm {
namespace {

// Long enough for the daemon to finish a SMART read with all its retries, and for a user to
// answer a password prompt for a change.
constexpr std::uint64_t kCallTimeoutUsec = 120ull * 1000 * 1000;

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

bool daemonIsPresent(sd_bus* bus) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                               bus::kServiceName);
    int present = 0;
    if (r >= 0) r = sd_bus_message_read(reply, "b", &present);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return r >= 0 && present;
}

[[noreturn]] void raise(const char* method, int r, const sd_bus_error& error) {
    const std::string detail =
        error.message ? error.message : (error.name ? error.name : std::strerror(-r));
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_ACCESS_DENIED) ||
        sd_bus_error_has_name(&error, "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired")) {
        throw DaemonRefused("not allowed to change the fan settings (" + detail + ")");
    }
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_INVALID_ARGS)) {
        throw DaemonRefused("the daemon refused the value: " + detail);
    }
    throw DaemonConnectionLost(std::string("the fan daemon did not answer ") + method + ": " +
                               detail);
}

}  // namespace

DaemonProxy DbusDaemonClient::bind(const std::string& bus) {
    std::string error;
    sd_bus* connection = openBus(bus, error);
    if (!connection) return DaemonProxy();
    if (!daemonIsPresent(connection)) {
        sd_bus_flush_close_unref(connection);
        return DaemonProxy();
    }
    return DaemonProxy(std::make_unique<DbusDaemonClient>(connection));
}

DbusDaemonClient::DbusDaemonClient(sd_bus* bus) : bus_(bus) {}

DbusDaemonClient::~DbusDaemonClient() { sd_bus_flush_close_unref(bus_); }

sd_bus_message* DbusDaemonClient::call(const char* method, const char* signature, ...) {
    sd_bus_message* request = nullptr;
    int r = sd_bus_message_new_method_call(bus_, &request, bus::kServiceName, bus::kObjectPath,
                                           bus::kInterface, method);
    Message owned(request);
    if (r >= 0 && signature && *signature) {
        va_list args;
        va_start(args, signature);
        r = sd_bus_message_appendv(request, signature, args);
        va_end(args);
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (r >= 0) r = sd_bus_call(bus_, request, kCallTimeoutUsec, &error, &reply);
    if (r < 0) {
        try {
            raise(method, r, error);
        } catch (...) {
            sd_bus_error_free(&error);
            throw;
        }
    }
    sd_bus_error_free(&error);
    return reply;
}

int DbusDaemonClient::getInt(const char* method) {
    Message reply(call(method, ""));
    std::int32_t value = 0;
    if (sd_bus_message_read(reply.get(), "i", &value) < 0) {
        throw DaemonError(std::string("unexpected answer to ") + method);
    }
    return value;
}

double DbusDaemonClient::getDouble(const char* method) {
    Message reply(call(method, ""));
    double value = 0;
    if (sd_bus_message_read(reply.get(), "d", &value) < 0) {
        throw DaemonError(std::string("unexpected answer to ") + method);
    }
    return value;
}

bool DbusDaemonClient::getBool(const char* method) {
    Message reply(call(method, ""));
    int value = 0;
    if (sd_bus_message_read(reply.get(), "b", &value) < 0) {
        throw DaemonError(std::string("unexpected answer to ") + method);
    }
    return value != 0;
}

void DbusDaemonClient::measure(const char* method, float* temperature, int* fanRpm) {
    if (!temperature && !fanRpm) return;  // nothing asked: nothing measured, nothing sent
    Message reply(call(method, "bb", temperature != nullptr, fanRpm != nullptr));
    double t = 0;
    std::int32_t rpm = 0;
    if (sd_bus_message_read(reply.get(), "di", &t, &rpm) < 0) {
        throw DaemonError(std::string("unexpected answer to ") + method);
    }
    if (temperature) *temperature = static_cast<float>(t);
    if (fanRpm) *fanRpm = rpm;
}

int DbusDaemonClient::baseRpm() { return getInt("BaseRpm"); }
void DbusDaemonClient::setBaseRpm(int rpm) {
    sd_bus_message_unref(call("SetBaseRpm", "i", std::int32_t{rpm}));
}
float DbusDaemonClient::lowerThreshold() { return static_cast<float>(getDouble("LowerThreshold")); }
void DbusDaemonClient::setLowerThreshold(float celsius) {
    sd_bus_message_unref(call("SetLowerThreshold", "d", static_cast<double>(celsius)));
}
float DbusDaemonClient::upperThreshold() { return static_cast<float>(getDouble("UpperThreshold")); }
void DbusDaemonClient::setUpperThreshold(float celsius) {
    sd_bus_message_unref(call("SetUpperThreshold", "d", static_cast<double>(celsius)));
}
bool DbusDaemonClient::fahrenheit() { return getBool("Fahrenheit"); }
void DbusDaemonClient::setFahrenheit(bool fahrenheit) {
    sd_bus_message_unref(call("SetFahrenheit", "b", int{fahrenheit}));
}
void DbusDaemonClient::temperature(float* temperature, int* fanRpm) {
    measure("Temperature", temperature, fanRpm);
}
void DbusDaemonClient::lastTemperature(float* temperature, int* fanRpm) {
    measure("LastTemperature", temperature, fanRpm);
}
bool DbusDaemonClient::pinToBase() { return getBool("PinToBase"); }
void DbusDaemonClient::setPinToBase(bool pin) {
    sd_bus_message_unref(call("SetPinToBase", "b", int{pin}));
}
std::optional<std::string> DbusDaemonClient::HDDName() {
    Message reply(call("HDDName", ""));
    const char* name = nullptr;
    if (sd_bus_message_read(reply.get(), "s", &name) < 0) {
        throw DaemonError("unexpected answer to HDDName");
    }
    return std::string(name);
}
void DbusDaemonClient::setHDDName(const std::optional<std::string>& name) {
    sd_bus_message_unref(call("SetHDDName", "s", name ? name->c_str() : ""));
}
bool DbusDaemonClient::useAmbientTemp() { return getBool("UseAmbientTemp"); }
void DbusDaemonClient::setUseAmbientTemp(bool useAmbient) {
    sd_bus_message_unref(call("SetUseAmbientTemp", "b", int{useAmbient}));
}
void DbusDaemonClient::writeValues() { sd_bus_message_unref(call("WriteValues", "")); }

}  // namespace drivetherm
