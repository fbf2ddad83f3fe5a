// SPDX-License-Identifier: GPL-2.0-or-later
// The SMC's parameter record from both sides and its value codecs. The first input byte chooses:
//   0  the codecs: fpe2, sp78, the unsigned types, key codes and hex text, with their round trips;
//   1  an SMC session whose controller answers every exchange with input bytes (status and the
//      whole 80-byte reply record): key information, values, fan count and labels, the fan
//      report and the writes, as the daemon and drivetherm-smc use them;
//   2  the simulated controller answering request records made of input bytes;
//   3  the applesmc transport over a driver whose attribute files read back input bytes (key
//      count, key_at_index_*, fan and temperature files) and whose writes fail as the input says.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcDiagnostics.h"
#include "hardware/smc/SmcSession.h"
#include "hardware/smc/linux/ApplesmcDevice.h"
#include "hardware/smc/linux/ApplesmcFiles.h"
#include "hardware/smc/linux/ApplesmcTransport.h"
#include "hardware/smc/sim/SimSmcController.h"

namespace {

using namespace drivetherm;

std::FILE* devNull() {
    static std::FILE* sink = std::fopen("/dev/null", "w");
    return sink;
}

void fuzzCodecs(FuzzedDataProvider& input) {
    std::uint8_t bytes[32] = {};
    const std::vector<std::uint8_t> given = input.ConsumeBytes<std::uint8_t>(32);
    std::copy(given.begin(), given.end(), bytes);
    const int size = input.ConsumeIntegralInRange<int>(-4, 40);

    const std::uint32_t unsignedValue = decodeSmcUnsigned(bytes, size);
    if (size <= 0) check(unsignedValue == 0);
    const float rpm = decodeFpe2(bytes, size);
    check(rpm >= 0.0f && rpm <= kSmcMaxFpe2Rpm);
    const double celsius = decodeSp78(bytes);
    check(celsius >= -128.0 && celsius < 128.0);

    const int wanted = input.ConsumeIntegral<int>();
    std::uint8_t fpe2[2];
    encodeFpe2(wanted, fpe2);
    if (wanted >= 0 && wanted <= kSmcMaxFpe2Rpm) check(decodeFpe2(fpe2, 2) == wanted);

    const double temperature = input.ConsumeFloatingPoint<double>();
    std::uint8_t sp78[2];
    encodeSp78(temperature, sp78);
    if (std::isfinite(temperature) && temperature >= -128.0 && temperature < 127.9) {
        check(std::fabs(decodeSp78(sp78) - temperature) <= 1.0 / 64 + 1.0 / 256);
    }

    char key[5];
    const std::uint32_t code = input.ConsumeIntegral<std::uint32_t>();
    unpackSmcCode(code, key);
    check(std::strlen(key) <= 4);
    if (std::strlen(key) == 4) check(packSmcCode(key) == code);

    const std::string text = input.ConsumeRandomLengthString(80);
    std::vector<std::uint8_t> parsed;
    const std::size_t most = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    if (parseSmcHexBytes(text, parsed, most)) {
        check(text.size() == parsed.size() * 2 && parsed.size() <= most);
    }
}

// A controller that says whatever the input says.
class InputTransport final : public SmcTransport {
public:
    explicit InputTransport(FuzzedDataProvider& input) : input_(input) {}
    kern_return_t callSmc(const SmcParamRecord&, SmcParamRecord& reply) override {
        if (input_.remaining_bytes() == 0) return kIOReturnNotResponding;
        const std::vector<std::uint8_t> bytes = input_.ConsumeBytes<std::uint8_t>(sizeof reply);
        if (!bytes.empty()) std::memcpy(&reply, bytes.data(), bytes.size());
        static constexpr kern_return_t kStatuses[] = {kIOReturnSuccess,  kIOReturnSuccess,
                                                      kIOReturnSuccess,  kIOReturnError,
                                                      kIOReturnNotFound, kIOReturnNotResponding};
        return input_.PickValueInArray(kStatuses);
    }

private:
    FuzzedDataProvider& input_;
};

class OneTransportDriver final : public SmcDriver {
public:
    explicit OneTransportDriver(std::unique_ptr<SmcTransport> transport)
        : transport_(std::move(transport)) {}
    SmcOpenResult open() override {
        SmcOpenResult result;
        result.step = transport_ ? SmcOpenResult::Step::Opened : SmcOpenResult::Step::NoService;
        result.connection = std::move(transport_);
        return result;
    }

private:
    std::unique_ptr<SmcTransport> transport_;
};

// What the daemon and the tool ask of a session, each answer checked against the value's rules.
void useSession(SmcSession& smc, FuzzedDataProvider& input) {
    if (smc.openSmcConnection() != 0) return;
    static constexpr const char* kKeys[] = {"F1Ac", "F1Mn", "F1Mx", "TH0O", "TC0P",
                                            "FS! ", "#KEY", "FNum", "F0ID", "RPlt"};
    while (input.remaining_bytes() > 0) {
        const char* key = input.PickValueInArray(kKeys);
        switch (input.ConsumeIntegralInRange(0, 8)) {
            case 0: {
                SmcValue value;
                if (smc.readSmcKey(key, value) == kIOReturnSuccess) {
                    check(value.valueSize <= sizeof value.valueBytes);
                    check(std::strlen(value.valueType) <= 4);
                    printSmcValue(value, devNull());
                }
                break;
            }
            case 1: {
                const int rpm = smc.readSmcFanSpeed(key);
                check(rpm >= -1 && rpm <= kSmcMaxFpe2Rpm);
                break;
            }
            case 2: {
                const double celsius = smc.readSmcTemperature(key);
                check(celsius >= -128.0 && celsius < 128.0);
                break;
            }
            case 3:
                check(smc.readSmcFanCount() >= -1);
                break;
            case 4: {
                const std::string label = smc.readSmcFanLabel(input.ConsumeIntegralInRange(-1, 10));
                check(label.size() <= 28);
                break;
            }
            case 5:
                check(smc.readSmcKeyCount() >= 0);
                break;
            case 6:
                smc.writeSmcFanSpeed(key, input.ConsumeIntegral<int>());
                break;
            case 7:
                printFanReport(smc, devNull());
                break;
            case 8: {
                char name[5] = {};
                if (smc.readSmcKeyAtIndex(input.ConsumeIntegral<std::uint32_t>(), name) ==
                    kIOReturnSuccess)
                    check(std::strlen(name) <= 4);
                break;
            }
        }
    }
    smc.closeSmcConnection();
}

void fuzzSession(FuzzedDataProvider& input) {
    OneTransportDriver driver(std::make_unique<InputTransport>(input));
    SmcSession smc(&driver, devNull());
    useSession(smc, input);
}

void fuzzSimulatedController(FuzzedDataProvider& input) {
    SimSmcController controller;
    controller.setKey("F0Ac", "fpe2", {0x11, 0x80});
    controller.setKey("F0Mn", "fpe2", {0x11, 0x80});
    controller.setKey("F0Mx", "fpe2", {0x5d, 0xc0});
    controller.setKey("F0ID", "{fds", {0, 0, 0, 0, 'H', 'D', 'D'});
    controller.setKey("FNum", "ui8 ", {1});
    controller.setKey("FS! ", "ui16", {0, 0});
    controller.setKey("TH0O", "sp78", {0x21, 0x00});
    while (input.remaining_bytes() > 0) {
        SmcParamRecord request{};
        const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(sizeof request);
        if (!bytes.empty()) std::memcpy(&request, bytes.data(), bytes.size());
        // Commands the controller knows, most of the time, so the input reaches their checks.
        static constexpr std::uint8_t kCommands[] = {kSmcCmdReadKeyInfo, kSmcCmdReadBytes,
                                                     kSmcCmdWriteBytes, kSmcCmdReadIndex};
        if (input.ConsumeBool()) request.commandCode = input.PickValueInArray(kCommands);
        SmcParamRecord reply{};
        if (controller.exchange(request, reply) == kIOReturnSuccess) {
            check(reply.valueSize <= sizeof reply.valueBytes);
        }
    }
    check(controller.fanCount() == 1);
}

// The applesmc driver's attribute files, each read answered by input bytes.
class InputFiles final : public ApplesmcFiles {
public:
    explicit InputFiles(FuzzedDataProvider& input) : input_(input) {}
    long readFile(const std::string&, char* buffer, std::size_t capacity) override {
        if (input_.remaining_bytes() == 0) return -EIO;
        if (input_.ConsumeIntegralInRange(0, 15) == 0) return -EIO;
        const std::string text = input_.ConsumeRandomLengthString(capacity);
        text.copy(buffer, text.size());
        return static_cast<long>(text.size());
    }
    int writeFile(const std::string&, std::string_view) override {
        if (input_.remaining_bytes() == 0) return -EIO;
        static constexpr int kAnswers[] = {0, 0, 0, -EINVAL, -EIO, -EACCES};
        return input_.PickValueInArray(kAnswers);
    }
    std::vector<std::string> listDirectory(const std::string&) override {
        return {"name",
                "key_count",
                "key_at_index",
                "key_at_index_name",
                "key_at_index_type",
                "key_at_index_data_length",
                "key_at_index_data",
                "fan1_input",
                "fan1_min",
                "fan1_max",
                "fan1_output",
                "fan1_manual",
                "fan2_input",
                "fan2_manual",
                "temp1_input",
                "temp1_label",
                "temp2_input",
                "temp2_label"};
    }

private:
    FuzzedDataProvider& input_;
};

void fuzzApplesmc(FuzzedDataProvider& input) {
    InputFiles files(input);
    auto device = std::make_shared<ApplesmcDevice>(files, "/sys/devices/platform/applesmc.768");
    OneTransportDriver driver(std::make_unique<ApplesmcTransport>(device, input.ConsumeBool()));
    SmcSession smc(&driver, devNull());
    useSession(smc, input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            fuzzCodecs(input);
            break;
        case 1:
            fuzzSession(input);
            break;
        case 2:
            fuzzSimulatedController(input);
            break;
        case 3:
            fuzzApplesmc(input);
            break;
    }
    return 0;
}
