# SPDX-License-Identifier: GPL-2.0-or-later
add_executable(drivethermctl drivethermctl/main.cpp)
target_link_libraries(drivethermctl PRIVATE dt_protocol dt_temptransformer)
set_target_properties(drivethermctl PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
install(TARGETS drivethermctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
