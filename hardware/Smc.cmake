# SPDX-License-Identifier: GPL-2.0-or-later
# SMC key access, its diagnostic listing, the fans' hand-back and the dry run: platform-free logic
# over the SmcTransport seam.
add_library(dt_smc STATIC
  SmcTransport.cpp
  SmcCodec.cpp
  SmcAccess.cpp
  SmcDiagnostics.cpp)
target_link_libraries(dt_smc PUBLIC dt_common)
set_target_properties(dt_smc PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
