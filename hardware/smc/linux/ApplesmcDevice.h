// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "hardware/smc/linux/ApplesmcFiles.h"
#include "hardware/smc/linux/ApplesmcKeyIndex.h"

namespace drivetherm {

// One applesmc device directory and what the process has learnt about it: its key list, which
// attribute files it has, and which `tempN_input` belongs to which temperature key. The driver
// creates its attributes once when it binds, so all of this is learnt once.
class ApplesmcDevice {
public:
    ApplesmcDevice(ApplesmcFiles& files, std::string directory);

    ApplesmcFiles& files() { return files_; }
    const std::string& directory() const { return directory_; }
    std::string path(std::string_view file) const { return directory_ + "/" + std::string(file); }
    ApplesmcKeyIndex& keys() { return keys_; }

    // Whether the device directory has an attribute of this name.
    bool hasFile(const std::string& name);

    // The `tempN_input` whose `tempN_label` names `key`, or nullptr. The numbering of the files
    // differs between models, so a sensor is only ever found by its label.
    const std::string* temperatureInput(std::string_view key);

    // The SMC fans (numbered from 0) that have a `fanN_manual` file, in order.
    const std::vector<int>& manualFans();

private:
    void listOnce();

    ApplesmcFiles& files_;
    std::string directory_;
    ApplesmcKeyIndex keys_;
    bool listed_ = false;
    std::set<std::string, std::less<>> names_;
    std::vector<int> manualFans_;
    std::optional<std::map<std::string, std::string, std::less<>>> temperatureInputs_;
};

}  // namespace drivetherm
