// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/DryRunSmcDriver.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "common/Log.h"
#include "hardware/smc/SmcCodec.h"

namespace drivetherm {
namespace {

// The speed keys of a fan, whose two bytes are shown as rpm.
bool isFanSpeedKey(const char key[5]) {
    if (key[0] != 'F' || key[1] < '0' || key[1] > '9') return false;
    const std::string suffix(key + 2);
    return suffix == "Ac" || suffix == "Mn" || suffix == "Mx" || suffix == "Sf" || suffix == "Tg";
}

class DryRunTransport final : public SmcTransport {
public:
    explicit DryRunTransport(std::unique_ptr<SmcTransport> hardware)
        : hardware_(std::move(hardware)) {}

    kern_return_t callSmc(const SmcParamRecord& request, SmcParamRecord& reply) override {
        if (request.commandCode != kSmcCmdWriteBytes) return hardware_->callSmc(request, reply);
        char key[5];
        unpackSmcCode(request.keyCode, key);
        if (isFanSpeedKey(key) && request.valueSize == 2) {
            log::info("smc", "would write %s = %.0f rpm", key,
                      static_cast<double>(decodeFpe2(request.valueBytes, 2)));
        } else {
            std::string bytes;
            const std::uint32_t size = std::min<std::uint32_t>(request.valueSize, 32);
            for (std::uint32_t i = 0; i < size; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02x", request.valueBytes[i]);
                bytes += hex;
            }
            log::info("smc", "would write %s = (bytes%s)", key, bytes.c_str());
        }
        return kIOReturnSuccess;
    }

private:
    std::unique_ptr<SmcTransport> hardware_;
};

}  // namespace

SmcOpenResult DryRunSmcDriver::open() {
    SmcOpenResult result = hardware_.open();
    if (result.step == SmcOpenResult::Step::Opened && result.connection) {
        result.connection = std::make_unique<DryRunTransport>(std::move(result.connection));
    }
    return result;
}

}  // namespace drivetherm
