// SPDX-License-Identifier: GPL-2.0-or-later
// Round-trip latency of the daemon's methods on a bus while the daemon ticks: N clients, each
// on its own connection, share a fixed total call rate; half the calls are BaseRpm, half
// LastTemperature(false, true), the tray's poll.
//
//   bus_latency ADDRESS CLIENTS CALLS_PER_SECOND SECONDS [ping]
//
// With "ping" every call is org.freedesktop.DBus.Peer.Ping to the daemon, which sd-bus answers
// without the daemon's code: the floor the bus and the scheduler set.
#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Samples {
    std::vector<double> baseRpm;
    std::vector<double> lastTemperature;
    int failures = 0;
};

bool pingOnly = false;

void client(const std::string& address, double perSecond, double seconds, Samples& out) {
    sd_bus* bus = nullptr;
    sd_bus_new(&bus);
    sd_bus_set_address(bus, address.c_str());
    sd_bus_set_bus_client(bus, 1);
    if (sd_bus_start(bus) < 0) {
        out.failures = -1;
        return;
    }
    const auto period = std::chrono::duration<double>(1.0 / perSecond);
    const auto start = Clock::now();
    auto next = start;
    for (long i = 0; Clock::now() - start < std::chrono::duration<double>(seconds); ++i) {
        std::this_thread::sleep_until(next);
        next += std::chrono::duration_cast<Clock::duration>(period);
        sd_bus_message* reply = nullptr;
        const auto t0 = Clock::now();
        int r;
        if (pingOnly) {
            r = sd_bus_call_method(bus, "com.quillmoor.Drivetherm", "/com/quillmoor/Drivetherm",
                                   "org.freedesktop.DBus.Peer", "Ping", nullptr, &reply, "");
        } else if (i % 2 == 0) {
            r = sd_bus_call_method(bus, "com.quillmoor.Drivetherm", "/com/quillmoor/Drivetherm",
                                   "com.quillmoor.Drivetherm.DaemonProtocol", "BaseRpm", nullptr,
                                   &reply, "");
        } else {
            r = sd_bus_call_method(bus, "com.quillmoor.Drivetherm", "/com/quillmoor/Drivetherm",
                                   "com.quillmoor.Drivetherm.DaemonProtocol", "LastTemperature",
                                   nullptr, &reply, "bb", 0, 1);
        }
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        sd_bus_message_unref(reply);
        if (r < 0) {
            ++out.failures;
            continue;
        }
        (i % 2 == 0 ? out.baseRpm : out.lastTemperature).push_back(us);
    }
    sd_bus_flush_close_unref(bus);
}

void report(const char* what, std::vector<double> v) {
    if (v.empty()) return;
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::min(v.size() - 1, std::size_t(q * v.size()))]; };
    std::printf("  %-26s %7zu calls  median %6.1f us  p99 %6.1f us  max %7.1f us\n", what, v.size(),
                at(0.5), at(0.99), v.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && !(argc == 6 && std::string(argv[5]) == "ping")) {
        std::fprintf(stderr,
                     "usage: bus_latency ADDRESS CLIENTS CALLS_PER_SECOND SECONDS [ping]\n");
        return 2;
    }
    pingOnly = argc == 6;
    const std::string address = argv[1];
    const int clients = std::atoi(argv[2]);
    const double rate = std::atof(argv[3]);
    const double seconds = std::atof(argv[4]);
    std::vector<Samples> samples(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back(client, address, rate / clients, seconds, std::ref(samples[i]));
    }
    for (auto& t : threads) t.join();
    Samples all;
    for (const auto& s : samples) {
        all.baseRpm.insert(all.baseRpm.end(), s.baseRpm.begin(), s.baseRpm.end());
        all.lastTemperature.insert(all.lastTemperature.end(), s.lastTemperature.begin(),
                                   s.lastTemperature.end());
        all.failures += s.failures;
    }
    std::printf("%d client(s), %.0f calls/s in all, %.0f s:\n", clients, rate, seconds);
    if (pingOnly) {
        all.baseRpm.insert(all.baseRpm.end(), all.lastTemperature.begin(),
                           all.lastTemperature.end());
        report("Peer.Ping (no daemon code)", all.baseRpm);
    } else {
        report("BaseRpm", all.baseRpm);
        report("LastTemperature(false,true)", all.lastTemperature);
    }
    if (all.failures) std::printf("  failed calls: %d\n", all.failures);
    return all.failures ? 1 : 0;
}
