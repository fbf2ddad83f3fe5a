// SPDX-License-Identifier: GPL-2.0-or-later
#include "protocol/DbusDaemonClient.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "protocol/BusConnection.h"
#include "protocol/BusNames.h"
#include "protocol/DaemonInterface.h"

namespace drivetherm {
namespace {

using I = DaemonInterface;

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

[[noreturn]] void raise(const BusMethod& method, int r, const sd_bus_error& error) {
    const std::string detail =
        error.message ? error.message : (error.name ? error.name : std::strerror(-r));
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_ACCESS_DENIED) ||
        sd_bus_error_has_name(&error,
                              "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired")) {
        throw DaemonRefused("not allowed to change the fan settings (" + detail + ")");
    }
    // A daemon older than this client: not a lost connection, only a question it cannot answer.
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_METHOD)) {
        throw DaemonError(std::string("the fan daemon does not know ") + method.name);
    }
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_INVALID_ARGS)) {
        throw DaemonInvalidValue("the daemon refused the value: " + detail);
    }
    throw DaemonConnectionLost(std::string("the fan daemon did not answer ") + method.name + ": " +
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

DbusDaemonClient::DbusDaemonClient(sd_bus* bus) : bus_(bus, I::kName, &raise) {}

int DbusDaemonClient::getInt(const BusMethod& method) {
    std::int32_t value = 0;
    BusClient::read(method, bus_.call(method).get(), &value);
    return value;
}

double DbusDaemonClient::getDouble(const BusMethod& method) {
    double value = 0;
    BusClient::read(method, bus_.call(method).get(), &value);
    return value;
}

bool DbusDaemonClient::getBool(const BusMethod& method) {
    int value = 0;
    BusClient::read(method, bus_.call(method).get(), &value);
    return value != 0;
}

void DbusDaemonClient::measure(const BusMethod& method, float* temperature, int* fanRpm) {
    if (!temperature && !fanRpm) return;  // nothing asked: nothing measured, nothing sent
    const auto reply = bus_.call(method, int{temperature != nullptr}, int{fanRpm != nullptr});
    double t = 0;
    std::int32_t rpm = 0;
    BusClient::read(method, reply.get(), &t, &rpm);
    if (temperature) *temperature = static_cast<float>(t);
    if (fanRpm) *fanRpm = rpm;
}

int DbusDaemonClient::baseRpm() {
    return getInt(I::kBaseRpm);
}
void DbusDaemonClient::setBaseRpm(int rpm) {
    bus_.call(I::kSetBaseRpm, std::int32_t{rpm});
}
float DbusDaemonClient::lowerThreshold() {
    return static_cast<float>(getDouble(I::kLowerThreshold));
}
void DbusDaemonClient::setLowerThreshold(float celsius) {
    bus_.call(I::kSetLowerThreshold, static_cast<double>(celsius));
}
float DbusDaemonClient::upperThreshold() {
    return static_cast<float>(getDouble(I::kUpperThreshold));
}
void DbusDaemonClient::setUpperThreshold(float celsius) {
    bus_.call(I::kSetUpperThreshold, static_cast<double>(celsius));
}
bool DbusDaemonClient::fahrenheit() {
    return getBool(I::kFahrenheit);
}
void DbusDaemonClient::setFahrenheit(bool fahrenheit) {
    bus_.call(I::kSetFahrenheit, int{fahrenheit});
}
void DbusDaemonClient::temperature(float* temperature, int* fanRpm) {
    measure(I::kTemperature, temperature, fanRpm);
}
void DbusDaemonClient::lastTemperature(float* temperature, int* fanRpm) {
    measure(I::kLastTemperature, temperature, fanRpm);
}
bool DbusDaemonClient::pinToBase() {
    return getBool(I::kPinToBase);
}
void DbusDaemonClient::setPinToBase(bool pin) {
    bus_.call(I::kSetPinToBase, int{pin});
}
std::optional<std::string> DbusDaemonClient::HDDName() {
    const char* name = nullptr;
    const auto reply = bus_.call(I::kHDDName);
    BusClient::read(I::kHDDName, reply.get(), &name);
    return std::string(name);
}
void DbusDaemonClient::setHDDName(const std::optional<std::string>& name) {
    bus_.call(I::kSetHDDName, name ? name->c_str() : "");
}
bool DbusDaemonClient::useAmbientTemp() {
    return getBool(I::kUseAmbientTemp);
}
void DbusDaemonClient::setUseAmbientTemp(bool useAmbient) {
    bus_.call(I::kSetUseAmbientTemp, int{useAmbient});
}
void DbusDaemonClient::writeValues() {
    bus_.call(I::kWriteValues);
}
void DbusDaemonClient::fanRange(int* minimum, int* maximum) {
    std::int32_t low = 0;
    std::int32_t high = 0;
    BusClient::read(I::kFanRange, bus_.call(I::kFanRange).get(), &low, &high);
    if (minimum) *minimum = low;
    if (maximum) *maximum = high;
}
ControlledFan DbusDaemonClient::controlledFan() {
    std::int32_t index = -1;
    const char* label = nullptr;
    const char* mode = nullptr;
    const auto reply = bus_.call(I::kControlledFan);
    BusClient::read(I::kControlledFan, reply.get(), &index, &label, &mode);
    return ControlledFan{index, label, mode};
}
int DbusDaemonClient::fanIndex() {
    return getInt(I::kFanIndex);
}
void DbusDaemonClient::setFanIndex(int index) {
    bus_.call(I::kSetFanIndex, std::int32_t{index});
}

}  // namespace drivetherm
