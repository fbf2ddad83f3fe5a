// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdint>
#include <functional>
#include <string>

#include "daemon/Authorizer.h"

namespace drivetherm {

class EventLoop;
class HDDDaemon;
class SimulatorControl;

// Serves the daemon object on D-Bus from the daemon's own event loop, so calls run between
// ticks, one at a time. The getters and the measurements are open to every local user; the
// setters ask the Authorizer first.
//
// The fan never depends on the bus: when the name is taken the loop runs all the same, and when
// the bus goes away the service reconnects in the background until it is back.
class DbusService {
public:
    DbusService(EventLoop& loop, HDDDaemon& daemon, std::string busName,
                SimulatorControl* simulator = nullptr);
    ~DbusService();
    DbusService(const DbusService&) = delete;
    DbusService& operator=(const DbusService&) = delete;

    // Connects and asks for the service name; a bus that is not there yet is retried in the
    // background. `nameSettled` runs once, from the loop, as soon as the name is owned or cannot
    // be (the bus refused it, or there is no bus to ask yet).
    void start(std::function<void()> nameSettled = {});

private:
    bool connect();
    void disconnect();
    void scheduleReconnect();

    static int onDisconnected(sd_bus_message* m, void* userdata, sd_bus_error* e);
    static int onNameRequested(sd_bus_message* m, void* userdata, sd_bus_error* e);
    void settleName();
    static int onReconnectTimer(sd_event_source* s, std::uint64_t usec, void* userdata);

    friend struct DbusServiceMethods;

    EventLoop& loop_;
    HDDDaemon& daemon_;
    std::string busName_;
    SimulatorControl* simulator_;
    Authorizer authorizer_;

    sd_bus* bus_ = nullptr;
    sd_bus_slot* objectSlot_ = nullptr;
    sd_bus_slot* simulatorSlot_ = nullptr;
    sd_bus_slot* disconnectSlot_ = nullptr;
    sd_event_source* reconnectTimer_ = nullptr;
    std::uint64_t reconnectDelayUsec_ = 0;
    bool saidBusMissing_ = false;
    std::function<void()> nameSettled_;
};

}  // namespace drivetherm
