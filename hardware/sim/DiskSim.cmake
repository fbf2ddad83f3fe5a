# SPDX-License-Identifier: GPL-2.0-or-later
# The simulated machine's drives: a registry and SMART backend built from the machine file.
add_library(dt_disk_sim STATIC SimDrive.cpp SimDriveBay.cpp)
target_link_libraries(dt_disk_sim PUBLIC dt_disk nlohmann_json::nlohmann_json)
