// SPDX-License-Identifier: GPL-2.0-or-later
// The control loop's cost on the simulated machine: a steady tick (two fan writes through the
// SMC's parameter records) and a tick with a temperature check (the disk's SMART read and the
// curve on top).
#include <benchmark/benchmark.h>

#include "common/DataPaths.h"
#include "daemon/HDDDaemon.h"
#include "daemon/SystemHardware.h"
#include "hardware/disk/DiskAccess.h"
#include "hardware/machine/SimMachine.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {
namespace {

class NullStore final : public PreferenceStore {
public:
    std::optional<PreferenceValue> copyValue(std::string_view) override { return std::nullopt; }
    void setValue(std::string_view, PreferenceValue) override {}
    void removeValue(std::string_view) override {}
    bool synchronize() override { return true; }
    std::string location() const override { return "nowhere"; }
};

struct Loop {
    Loop() : machine(SimMachine::load(DRIVETHERM_SOURCE_DIR "/machines/default.json")) {
        daemon.readPreferences();
        daemon.timer();  // the first tick checks at once; from here on ticks are steady
    }
    std::unique_ptr<SimMachine> machine;
    SmcSession smc{&machine->smcDriver()};
    DiskAccess disks{&machine->deviceRegistry(), &machine->smartBackend()};
    SystemHardware hardware{smc, disks};
    NullStore store;
    HDDDaemon daemon{hardware, store};
};

void SteadyTick(benchmark::State& state) {
    Loop loop;
    for (auto _ : state) {
        loop.daemon.timer();
        if (loop.daemon.checkTempCount() >= 59) {
            state.PauseTiming();
            // Keep the check out of this figure: restart the count well before 61.
            while (loop.daemon.checkTempCount() != 1) loop.daemon.timer();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(SteadyTick);

void TickWithTemperatureCheck(benchmark::State& state) {
    Loop loop;
    for (auto _ : state) {
        state.PauseTiming();
        while (loop.daemon.checkTempCount() != 60) loop.daemon.timer();
        state.ResumeTiming();
        loop.daemon.timer();  // the 61st tick: check, then write
    }
}
BENCHMARK(TickWithTemperatureCheck);

void SensorAverage(benchmark::State& state) {
    Loop loop;
    loop.hardware.openSmcConnection();
    for (auto _ : state) benchmark::DoNotOptimize(loop.daemon.getAvarageTemp());
    loop.hardware.closeSmcConnection();
}
BENCHMARK(SensorAverage);

}  // namespace
}  // namespace drivetherm

BENCHMARK_MAIN();
