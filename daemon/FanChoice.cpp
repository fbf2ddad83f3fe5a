// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/FanChoice.h"

#include <algorithm>

namespace drivetherm {

FanChoice FanChoice::choose(const std::vector<std::string>& labels, int setting,
                            std::string& note) {
    const int count = static_cast<int>(std::min<std::size_t>(labels.size(), kMostFans));
    auto fan = [&](int index) {
        // One fan cools everything: raise its floor, never pin it.
        const Mode mode = count == 1 ? Mode::Floor : Mode::Forced;
        return FanChoice{index, labels[static_cast<std::size_t>(index)], mode};
    };
    if (setting >= 0 && setting < count) return fan(setting);
    if (setting != -1) {
        note = "the settings name fan " + std::to_string(setting) + ", but the SMC has " +
               (count == 0   ? std::string("no fan")
                : count == 1 ? std::string("only fan 0")
                             : "fans 0 to " + std::to_string(count - 1)) +
               "; choosing by the fans' names instead";
    }
    for (int i = 0; i < count; ++i) {
        if (labels[static_cast<std::size_t>(i)] == kDiskFanLabel) return fan(i);
    }
    if (count >= 2) return fan(1);
    if (count == 1) return fan(0);
    return FanChoice{};
}

const char* FanChoice::modeName(Mode mode) {
    switch (mode) {
        case Mode::Forced:
            return "forced";
        case Mode::Floor:
            return "floor";
        case Mode::None:
            break;
    }
    return "none";
}

}  // namespace drivetherm
