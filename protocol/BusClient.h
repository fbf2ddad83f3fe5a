// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <systemd/sd-bus.h>

#include <memory>

#include "protocol/BusMethod.h"

namespace drivetherm {

// The calling side of one of the daemon's interfaces: makes the calls that the interface's
// table (DaemonInterface, SimulatorInterface) describes, with the method's own name and
// signatures, and waits for each reply. The clients of the two interfaces are built on it.
class BusClient {
public:
    struct MessageUnref {
        void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
    };
    using Reply = std::unique_ptr<sd_bus_message, MessageUnref>;

    // Turns a failed call into the client's exception; never returns. `code` is the negative
    // errno of the failure, `error` the D-Bus error the daemon or the bus answered, if any.
    using Raise = void (*)(const BusMethod& method, int code, const sd_bus_error& error);

    // Takes over the reference to `bus`.
    BusClient(sd_bus* bus, const char* interface, Raise raise);
    ~BusClient();
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    // Calls `method` with `arguments`, given as sd_bus_message_append takes the method's
    // in-signature (int for "b", const char* for "s"), and returns its reply.
    template <class... Arguments>
    Reply call(const BusMethod& method, Arguments... arguments) {
        Reply request = newCall(method);
        const int r = sd_bus_message_append(request.get(), method.in, arguments...);
        return send(method, std::move(request), r);
    }

    // Reads a reply of `method` into `results`, given as sd_bus_message_read takes the method's
    // out-signature (int* for "b"). Throws DaemonError for an answer of another shape.
    template <class... Results>
    static void read(const BusMethod& method, sd_bus_message* reply, Results*... results) {
        check(method, sd_bus_message_read(reply, method.out, results...));
    }
    // Throws DaemonError for a negative `r`: the reply to `method` was not what it should be.
    static void check(const BusMethod& method, int r);

private:
    Reply newCall(const BusMethod& method);
    // Sends `request` unless `appended` is an error, and waits for the reply.
    Reply send(const BusMethod& method, Reply request, int appended);
    [[noreturn]] void fail(const BusMethod& method, int code, const sd_bus_error& error);

    sd_bus* bus_;
    const char* interface_;
    Raise raise_;
};

}  // namespace drivetherm
