# SPDX-License-Identifier: GPL-2.0-or-later
add_executable(drivethermd main.cpp MachineSetup.cpp SystemHardware.cpp)
target_link_libraries(drivethermd PRIVATE
  dt_daemon_service dt_smc dt_smc_linux dt_disk dt_disk_linux dt_machine_sim)
target_compile_definitions(drivethermd PRIVATE DRIVETHERM_VERSION="${PROJECT_VERSION}")
set_target_properties(drivethermd PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
install(TARGETS drivethermd RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
