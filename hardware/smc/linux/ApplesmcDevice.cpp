// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/linux/ApplesmcDevice.h"

#include <cstdlib>

namespace drivetherm {

ApplesmcDevice::ApplesmcDevice(ApplesmcFiles& files, std::string directory)
    : files_(files), directory_(std::move(directory)), keys_(files, directory_) {}

void ApplesmcDevice::listOnce() {
    if (listed_) return;
    listed_ = true;
    for (std::string& name : files_.listDirectory(directory_)) names_.insert(std::move(name));
    // fan1_manual is the SMC's fan 0; stop at the first gap, as the driver numbers them densely.
    for (int fan = 0; fan < 16 && names_.count("fan" + std::to_string(fan + 1) + "_manual");
         ++fan) {
        manualFans_.push_back(fan);
    }
}

bool ApplesmcDevice::hasFile(const std::string& name) {
    listOnce();
    return names_.count(name) != 0;
}

const std::vector<int>& ApplesmcDevice::manualFans() {
    listOnce();
    return manualFans_;
}

const std::string* ApplesmcDevice::temperatureInput(std::string_view key) {
    if (!temperatureInputs_) {
        listOnce();
        temperatureInputs_.emplace();
        for (const std::string& name : names_) {
            // tempN_label, N from 1
            if (name.rfind("temp", 0) != 0 || name.size() < 11 ||
                name.compare(name.size() - 6, 6, "_label") != 0) {
                continue;
            }
            const std::string number = name.substr(4, name.size() - 10);
            if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
                continue;
            const std::string input = "temp" + number + "_input";
            char label[16];
            const long count = files_.readFile(path(name), label, sizeof label);
            if (count <= 0 || names_.count(input) == 0) continue;
            std::string text(label, static_cast<std::size_t>(count));
            if (text.back() == '\n') text.pop_back();
            temperatureInputs_->emplace(text, path(input));
        }
    }
    const auto it = temperatureInputs_->find(key);
    return it == temperatureInputs_->end() ? nullptr : &it->second;
}

}  // namespace drivetherm
