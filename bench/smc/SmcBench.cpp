// SPDX-License-Identifier: GPL-2.0-or-later
// What one SMC access costs in the process, on the simulated controller: the codecs, one
// temperature read (two exchanges) and one fan write (three exchanges).
#include <benchmark/benchmark.h>

#include "hardware/machine/MachineSections.h"
#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcSession.h"
#include "hardware/smc/sim/SimSmcDriver.h"

namespace drivetherm {
namespace {

void BM_EncodeFpe2(benchmark::State& state) {
    std::uint8_t bytes[2];
    int rpm = 1100;
    for (auto _ : state) {
        encodeFpe2(rpm, bytes);
        benchmark::DoNotOptimize(bytes);
        rpm = rpm == 6000 ? 1100 : rpm + 1;
    }
}
BENCHMARK(BM_EncodeFpe2);

void BM_DecodeFpe2(benchmark::State& state) {
    std::uint8_t bytes[2] = {0x1F, 0x43};
    for (auto _ : state) {
        benchmark::DoNotOptimize(bytes);
        benchmark::DoNotOptimize(decodeFpe2(bytes, 2));
    }
}
BENCHMARK(BM_DecodeFpe2);

void BM_DecodeSp78(benchmark::State& state) {
    std::uint8_t bytes[2] = {0x2D, 0x80};
    for (auto _ : state) {
        benchmark::DoNotOptimize(bytes);
        benchmark::DoNotOptimize(decodeSp78(bytes));
    }
}
BENCHMARK(BM_DecodeSp78);

void BM_PackSmcCode(benchmark::State& state) {
    const char* key = "F1Mn";
    for (auto _ : state) {
        benchmark::DoNotOptimize(key);
        benchmark::DoNotOptimize(packSmcCode(key));
    }
}
BENCHMARK(BM_PackSmcCode);

std::shared_ptr<SimSmcController> defaultController() {
    return readSmcSection(MachineFile::load(DRIVETHERM_DEFAULT_MACHINE));
}

class OpenSimulatedSmc {
public:
    OpenSimulatedSmc() { session.openSmcConnection(); }

    SimSmcDriver driver{defaultController()};
    SmcSession session{&driver};
};

void BM_ReadSmcTemperature(benchmark::State& state) {
    OpenSimulatedSmc smc;
    for (auto _ : state) benchmark::DoNotOptimize(smc.session.readSmcTemperature("TC0P"));
}
BENCHMARK(BM_ReadSmcTemperature);

void BM_WriteSmcFanSpeed(benchmark::State& state) {
    OpenSimulatedSmc smc;
    int rpm = 1100;
    for (auto _ : state) {
        benchmark::DoNotOptimize(smc.session.writeSmcFanSpeed("F1Mn", rpm));
        rpm = rpm == 6000 ? 1100 : rpm + 1;
    }
}
BENCHMARK(BM_WriteSmcFanSpeed);

// One steady tick of the daemon as the SMC sees it: open, two fan writes, close.
void BM_SteadyTick(benchmark::State& state) {
    SimSmcDriver driver(defaultController());
    SmcSession session(&driver);
    for (auto _ : state) {
        session.openSmcConnection();
        session.writeSmcFanSpeed("F1Mn", 3550);
        session.writeSmcFanSpeed("F1Mx", 3550);
        session.closeSmcConnection();
    }
}
BENCHMARK(BM_SteadyTick);

}  // namespace
}  // namespace drivetherm

BENCHMARK_MAIN();
