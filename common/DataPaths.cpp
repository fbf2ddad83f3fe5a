// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/DataPaths.h"

#include <unistd.h>

#include <climits>

namespace drivetherm {

std::string defaultMachineFile() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string program = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : "";
    const std::string buildTree = DRIVETHERM_BUILD_TREE "/";
    if (program.rfind(buildTree, 0) == 0) return DRIVETHERM_SOURCE_TREE "/machines/default.json";
    // Installed: beside the program's prefix (bin/ or sbin/ next to share/), wherever the package
    // put it; the configured data directory when that copy is missing.
    const auto slash = program.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const auto parent = program.rfind('/', slash - 1);
        if (parent != std::string::npos) {
            const std::string beside =
                program.substr(0, parent) + "/share/drivetherm/machines/default.json";
            if (::access(beside.c_str(), R_OK) == 0) return beside;
        }
    }
    return DRIVETHERM_DATA_DIR "/machines/default.json";
}

}  // namespace drivetherm
