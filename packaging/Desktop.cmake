# SPDX-License-Identifier: GPL-2.0-or-later
# The desktop's side of the settings window and the tray monitor: their menu entries, the
# settings window's entry for software centres (AppStream), the icon both use, and the README
# the monitor's web-site item opens.
if(DRIVETHERM_BUILD_GUI)
  install(FILES desktop/drivetherm.desktop desktop/drivetherm-monitor.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES desktop/com.quillmoor.drivetherm.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES desktop/drivetherm.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
