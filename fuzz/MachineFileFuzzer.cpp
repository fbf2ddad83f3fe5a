// SPDX-License-Identifier: GPL-2.0-or-later
// The simulated machine's description file: the input is the file's text. Every file either
// builds a machine or is refused with the documented one line "NAME:LINE: MEMBER: what" (a
// std::runtime_error, nothing else escapes); a machine that builds runs a few simulated seconds
// and answers the SMC questions the daemon asks at start.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "hardware/machine/MachineFile.h"
#include "hardware/machine/SimMachine.h"
#include "hardware/smc/SmcSession.h"

namespace {

using namespace drivetherm;

constexpr const char* kName = "fuzzed.json";

void checkOneLine(const std::runtime_error& error) {
    const std::string line = error.what();
    check(line.rfind(kName, 0) == 0);
    check(line.find('\n') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<SimMachine> machine;
    try {
        machine = SimMachine::fromFile(MachineFile::parse(text, kName));
    } catch (const std::runtime_error& error) {
        checkOneLine(error);
        return 0;
    }
    for (int second = 0; second < 3; ++second) machine->step();
    check(!machine->describe().empty());

    static std::FILE* sink = std::fopen("/dev/null", "w");
    SmcSession smc(&machine->smcDriver(), sink);
    if (smc.openSmcConnection() == 0) {
        const int fans = smc.readSmcFanCount();
        for (int fan = 0; fan < fans && fan < 10; ++fan) {
            smc.readSmcFanLabel(fan);
            const int minimum = smc.readSmcFanSpeed(smcFanKey(fan, "Mn").c_str());
            check(minimum >= -1 && minimum <= kSmcMaxFpe2Rpm);
            smc.writeSmcFanSpeed(smcFanKey(fan, "Mn").c_str(), 1500);
        }
        smc.closeSmcConnection();
    }
    machine->step();
    return 0;
}
