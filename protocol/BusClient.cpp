// SPDX-License-Identifier: GPL-2.0-or-later
#include "protocol/BusClient.h"

#include <string>

#include "protocol/BusNames.h"
#include "protocol/DaemonProtocol.h"

namespace drivetherm {
namespace {

// Long enough for the daemon to finish a SMART read with all its retries, and for a user to
// answer a password prompt for a change.
constexpr std::uint64_t kCallTimeoutUsec = 120ull * 1000 * 1000;

}  // namespace

BusClient::BusClient(sd_bus* bus, const char* interface, Raise raise)
    : bus_(bus), interface_(interface), raise_(raise) {}

BusClient::~BusClient() {
    sd_bus_flush_close_unref(bus_);
}

BusClient::Reply BusClient::newCall(const BusMethod& method) {
    sd_bus_message* request = nullptr;
    const int r = sd_bus_message_new_method_call(bus_, &request, bus::kServiceName,
                                                 bus::kObjectPath, interface_, method.name);
    if (r < 0) fail(method, r, SD_BUS_ERROR_NULL);
    return Reply(request);
}

BusClient::Reply BusClient::send(const BusMethod& method, Reply request, int appended) {
    if (appended < 0) fail(method, appended, SD_BUS_ERROR_NULL);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call(bus_, request.get(), kCallTimeoutUsec, &error, &reply);
    if (r < 0) {
        try {
            fail(method, r, error);
        } catch (...) {
            sd_bus_error_free(&error);
            throw;
        }
    }
    sd_bus_error_free(&error);
    return Reply(reply);
}

void BusClient::fail(const BusMethod& method, int code, const sd_bus_error& error) {
    raise_(method, code, error);
    // A Raise that returned: the call failed all the same.
    throw DaemonConnectionLost(std::string("the call ") + method.name + " failed");
}

void BusClient::check(const BusMethod& method, int r) {
    if (r < 0) throw DaemonError(std::string("unexpected answer to ") + method.name);
}

}  // namespace drivetherm
