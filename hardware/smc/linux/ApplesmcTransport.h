// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "hardware/smc/SmcTransport.h"
#include "hardware/smc/linux/ApplesmcDevice.h"

namespace drivetherm {

// One connection to the SMC through the kernel's applesmc driver. The driver has no file that
// exchanges raw records, so the four commands are answered from its attribute files:
//   9 (key information) and 8 (key at index): the key list (`key_count`, `key_at_index*`);
//   5 (read): the dedicated file where there is one (`fanN_input`, `_min`, `_max`, `_safe`,
//     `_output`; `tempN_input` by its label), turned back into bytes: the SMC's own but for the
//     fraction bits the file does not show (fpe2 below 1 rpm, sp78 below a quarter degree);
//     otherwise, or for every key when `smcBytes` is set, `key_at_index_data`;
//   6 (write): only what the driver can write: "F%dMn" → `fan(n+1)_min`, "F%dTg" →
//     `fan(n+1)_output`, "F%dMx" → forced mode (`fan(n+1)_manual` = 1 and `fan(n+1)_output` =
//     the speed, which holds the fan there as minimum = maximum would), "FS! " → the
//     `fanN_manual` bit of each fan whose bit changes. Every other key is refused with
//     kIOReturnNotWritable, nothing written.
class ApplesmcTransport final : public SmcTransport {
public:
    explicit ApplesmcTransport(std::shared_ptr<ApplesmcDevice> device, bool smcBytes = false);

    kern_return_t callSmc(const SmcParamRecord& request, SmcParamRecord& reply) override;

    // The dedicated speed file of a fan key ("F1Mn" → "fan2_min"), if the key names one.
    static std::optional<std::string> fanFileOf(const std::string& key);

private:
    kern_return_t readKeyInfo(const std::string& key, SmcParamRecord& reply);
    kern_return_t readBytes(const std::string& key, std::uint32_t size, SmcParamRecord& reply);
    kern_return_t writeBytes(const std::string& key, const SmcParamRecord& request);
    kern_return_t readKeyAtIndex(std::uint32_t index, SmcParamRecord& reply);
    kern_return_t readNumber(const std::string& path, long& value);
    kern_return_t writeNumber(const std::string& file, long value);
    kern_return_t writeForcedMask(const ApplesmcKeyInfo& info, const SmcParamRecord& request);

    std::shared_ptr<ApplesmcDevice> device_;
    bool smcBytes_;
};

}  // namespace drivetherm
