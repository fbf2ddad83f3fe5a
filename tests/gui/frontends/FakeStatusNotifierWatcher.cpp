// SPDX-License-Identifier: GPL-2.0-or-later
// A stand-in for a desktop panel's tray on a test's session bus: it owns
// org.kde.StatusNotifierWatcher and says a tray host is there, which is what makes Qt offer a
// system tray under a bare X server, and prints "registered <service>" for each item that
// registers, so a test can find the monitor's icon and read its tool tip.
//   fake-status-notifier-watcher ADDRESS
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int registerItem(sd_bus_message* m, void*, sd_bus_error*) {
    const char* what = nullptr;
    if (int r = sd_bus_message_read(m, "s", &what); r < 0) return r;
    // An item may give its object path only; then the service is the caller.
    const std::string item = what[0] == '/' ? sd_bus_message_get_sender(m) : what;
    std::printf("registered %s\n", item.c_str());
    std::fflush(stdout);
    return sd_bus_reply_method_return(m, "");
}

int registerHost(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "");
}

int hostRegistered(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                   sd_bus_error*) {
    return sd_bus_message_append(reply, "b", 1);
}

const sd_bus_vtable kWatcher[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", registerItem, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("RegisterStatusNotifierHost", "s", "", registerHost, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("IsStatusNotifierHostRegistered", "b", hostRegistered, 0, 0),
    SD_BUS_VTABLE_END};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fake-status-notifier-watcher ADDRESS\n");
        return 2;
    }
    constexpr const char* kName = "org.kde.StatusNotifierWatcher";
    sd_bus* bus = nullptr;
    int r = sd_bus_new(&bus);
    if (r >= 0) r = sd_bus_set_address(bus, argv[1]);
    if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0) r = sd_bus_start(bus);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, nullptr, "/StatusNotifierWatcher", kName, kWatcher,
                                     nullptr);
    if (r >= 0) r = sd_bus_request_name(bus, kName, 0);
    if (r < 0) {
        std::fprintf(stderr, "fake-status-notifier-watcher: %s\n", std::strerror(-r));
        return 1;
    }
    // Serves until the test's bus goes away.
    while ((r = sd_bus_process(bus, nullptr)) >= 0) {
        if (r == 0 && sd_bus_wait(bus, UINT64_MAX) < 0) break;
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
