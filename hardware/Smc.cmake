# SPDX-License-Identifier: GPL-2.0-or-later
# SMC key access, its diagnostic listing, the fans' hand-back and the dry run: platform-free logic
# over the SmcTransport seam.
add_library(dt_smc STATIC
  SmcTransport.cpp
  SmcCodec.cpp
  SmcAccess.cpp
  SmcDiagnostics.cpp
  FanHandBack.cpp
  DryRunSmcDriver.cpp)
target_link_libraries(dt_smc PUBLIC dt_common)
set_target_properties(dt_smc PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

# The real SMC on Linux: the kernel's applesmc driver through its sysfs files.
add_library(dt_smc_linux STATIC
  linux/ApplesmcPosixFiles.cpp
  linux/ApplesmcKeyIndex.cpp
  linux/ApplesmcDevice.cpp
  linux/ApplesmcTransport.cpp
  linux/ApplesmcDriver.cpp)
target_link_libraries(dt_smc_linux PUBLIC dt_smc)
set_target_properties(dt_smc_linux PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
