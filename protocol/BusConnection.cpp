// SPDX-License-Identifier: GPL-2.0-or-later
#include "protocol/BusConnection.h"

#include <systemd/sd-bus.h>

#include <cstring>

namespace drivetherm {

sd_bus* openBus(const std::string& which, std::string& error) {
    sd_bus* bus = nullptr;
    int r = 0;
    if (which == "system") {
        r = sd_bus_open_system(&bus);
    } else if (which == "session") {
        r = sd_bus_open_user(&bus);
    } else {
        r = sd_bus_new(&bus);
        if (r >= 0) r = sd_bus_set_address(bus, which.c_str());
        if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
        if (r >= 0) r = sd_bus_start(bus);
    }
    if (r < 0) {
        error = "cannot connect to the " +
                (which == "system" || which == "session" ? which + " bus" : "bus at " + which) +
                ": " + std::strerror(-r);
        sd_bus_unref(bus);
        return nullptr;
    }
    return bus;
}

}  // namespace drivetherm
