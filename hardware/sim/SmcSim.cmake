# SPDX-License-Identifier: GPL-2.0-or-later
# The simulated System Management Controller, built from a machine file's "smc" section.
add_library(dt_smc_sim STATIC
  SimSmcController.cpp
  SimSmcControllerJson.cpp
  SimSmcDriver.cpp)
target_link_libraries(dt_smc_sim PUBLIC dt_smc nlohmann_json::nlohmann_json)
set_target_properties(dt_smc_sim PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
