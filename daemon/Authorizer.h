// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <systemd/sd-bus.h>

#include <functional>
#include <string>

namespace drivetherm {

// Decides whether the sender of a method call may change the fan settings: root always, a
// caller running as the daemon's own user too (it could change anything the daemon can);
// anyone else only when polkit grants the "configure" action, asking for a password if the
// policy says so. Without polkit on the bus, root only.
//
// The polkit question is asked asynchronously, so a password prompt never holds up the fan.
class Authorizer {
public:
    // `allowed`, and a reason for the refusal the caller can show.
    using Decision = std::function<void(bool allowed, const std::string& reason)>;

    // Calls `decide` exactly once, right away or when polkit answers.
    void check(sd_bus_message* call, Decision decide);

private:
    static int onPolkitReply(sd_bus_message* reply, void* userdata, sd_bus_error* error);
};

}  // namespace drivetherm
