// SPDX-License-Identifier: GPL-2.0-or-later
#include "protocol/SimulatorClient.h"

#include <cstring>

#include "protocol/BusConnection.h"
#include "protocol/DaemonProtocol.h"
#include "protocol/SimulatorInterface.h"

namespace drivetherm {
namespace {

using I = SimulatorInterface;

[[noreturn]] void raise(const BusMethod&, int r, const sd_bus_error& error) {
    const std::string detail = error.message ? error.message : std::strerror(-r);
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_ACCESS_DENIED)) throw DaemonRefused(detail);
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_INVALID_ARGS)) throw DaemonInvalidValue(detail);
    throw DaemonConnectionLost(detail);
}

}  // namespace

std::unique_ptr<SimulatorClient> SimulatorClient::connect(const std::string& bus,
                                                          std::string& error) {
    sd_bus* connection = openBus(bus, error);
    if (!connection) return nullptr;
    return std::make_unique<SimulatorClient>(connection);
}

SimulatorClient::SimulatorClient(sd_bus* bus) : bus_(bus, I::kName, &raise) {}

SimulatorClient::Key SimulatorClient::readKey(const std::string& key) {
    const auto reply = bus_.call(I::kReadKey, key.c_str());
    Key result;
    const char* type = nullptr;
    const void* bytes = nullptr;
    std::size_t size = 0;
    // The reply is "usay": the status and type first, then the bytes as one array.
    int r = sd_bus_message_read(reply.get(), "us", &result.status, &type);
    if (r >= 0) r = sd_bus_message_read_array(reply.get(), 'y', &bytes, &size);
    BusClient::check(I::kReadKey, r);
    result.type = type;
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    result.bytes.assign(first, first + size);
    return result;
}

void SimulatorClient::setSensorTemperature(const std::string& key, double celsius) {
    bus_.call(I::kSetSensorTemperature, key.c_str(), celsius);
}

void SimulatorClient::setDriveTemperature(const std::string& disk, std::uint8_t celsius) {
    bus_.call(I::kSetDriveTemperature, disk.c_str(), celsius);
}

void SimulatorClient::setDriveFault(const std::string& disk, const std::string& fault) {
    bus_.call(I::kSetDriveFault, disk.c_str(), fault.c_str());
}

int SimulatorClient::driveReadCount(const std::string& disk) {
    std::int32_t count = 0;
    BusClient::read(I::kDriveReadCount, bus_.call(I::kDriveReadCount, disk.c_str()).get(), &count);
    return count;
}

}  // namespace drivetherm
