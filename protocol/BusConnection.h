// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

struct sd_bus;

namespace drivetherm {

// Opens a connection to "system", "session" or a D-Bus address (unix:path=...). For an address
// the connection is made a bus client, so it can own a name and reach other peers. Returns null
// with `error` set to one line when the bus cannot be reached.
sd_bus* openBus(const std::string& which, std::string& error);

}  // namespace drivetherm
