// SPDX-License-Identifier: GPL-2.0-or-later
// Figures for the applesmc transport on a fake tree (regular files in /tmp, so the times are the
// transport's own, without the SMC's I/O-port exchanges of a real machine):
//   applesmc_tick tick  KEYLIST COUNT   COUNT steady daemon ticks (open, F1Mn, F1Mx, close)
//   applesmc_tick check KEYLIST COUNT   COUNT temperature checks over the loop's seven sensors
//   applesmc_tick make  KEYLIST ROOT    only build the tree under ROOT (for running programs on it)
// After one warm-up round it prints the file operations and the time per round; run it under
// `strace -c -f` with COUNT 0 and COUNT N to get the system calls per round (tick-syscalls.sh).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "hardware/smc/SmcSession.h"
#include "hardware/smc/linux/ApplesmcDriver.h"
#include "tests/unit/smc/FakeApplesmcTree.h"

using namespace drivetherm;

namespace {

void tick(SmcSession& smc) {
    smc.openSmcConnection();
    smc.writeSmcFanSpeed("F1Mn", 3550);
    smc.writeSmcFanSpeed("F1Mx", 3550);
    smc.closeSmcConnection();
}

void check(SmcSession& smc) {
    smc.openSmcConnection();
    for (const char* key : {"TC0P", "TC0D", "TC0H", "TA0P", "TL0P", "TO0P", "Tp1P"})
        smc.readSmcTemperature(key);
    smc.closeSmcConnection();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s tick|check|make KEYLIST COUNT|ROOT\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "make") {
        const auto keys = testing::loadFakeKeyList(argv[2]);
        testing::writeApplesmcTree(keys, std::string(argv[3]) + "/devices/platform/applesmc.768");
        std::ifstream source(argv[2], std::ios::binary);
        std::ofstream(std::string(argv[3]) + "/applesmc.keys", std::ios::binary) << source.rdbuf();
        return 0;
    }
    const int count = std::atoi(argv[3]);
    testing::FakeApplesmcTree tree(argv[2]);
    ApplesmcDriver driver(tree.root(), tree);
    SmcSession smc(&driver);
    auto round = mode == "check" ? check : tick;

    round(smc);  // warm-up: the key searches and the label scan happen once per process
    const int warmUp = tree.operations();
    tree.resetCounts();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) round(smc);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    std::printf(
        "%s: warm-up %d file operations; steady %.2f file operations and %.2f us per round (%d "
        "rounds)\n",
        mode.c_str(), warmUp, count ? static_cast<double>(tree.operations()) / count : 0.0,
        count ? std::chrono::duration<double, std::micro>(elapsed).count() / count : 0.0, count);
    return 0;
}
