# SPDX-License-Identifier: GPL-2.0-or-later
# drivetherm-smc: the SMC command-line tool.
add_library(dt_smc_tool STATIC
  drivetherm-smc/SmcToolOptions.cpp
  drivetherm-smc/SmcTool.cpp)
target_link_libraries(dt_smc_tool PUBLIC dt_smc dt_smc_sim dt_smc_linux)
set_target_properties(dt_smc_tool PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

add_executable(drivetherm-smc drivetherm-smc/main.cpp)
target_link_libraries(drivetherm-smc PRIVATE dt_smc_tool)
set_target_properties(drivetherm-smc PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
install(TARGETS drivetherm-smc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
