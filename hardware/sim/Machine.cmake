# SPDX-License-Identifier: GPL-2.0-or-later
# The whole simulated machine: SMC, drives and the thermal model, from one description file.
add_library(dt_machine_sim STATIC SimMachine.cpp ThermalModel.cpp)
target_link_libraries(dt_machine_sim PUBLIC dt_smc_sim dt_disk_sim nlohmann_json::nlohmann_json)
set_target_properties(dt_machine_sim PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
