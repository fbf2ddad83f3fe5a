# SPDX-License-Identifier: GPL-2.0-or-later
# The disks: the device-registry and SMART-device seams, the SMART temperature reader and the
# drive walk (dt_disk, platform-free), and their Linux backends (dt_disk_linux: udev and SG_IO).
# The simulated machine's drives are in sim/DiskSim.cmake.

add_library(dt_disk STATIC
  RegistryValue.cpp
  RegistryEntry.cpp
  DeviceRegistry.cpp
  RegistryTree.cpp
  TreeRegistry.cpp
  SmartData.cpp
  SmartDevice.cpp
  SmartReader.cpp
  DriveWalk.cpp)
target_link_libraries(dt_disk PUBLIC dt_common)

add_library(dt_disk_linux STATIC
  linux/UdevNames.cpp
  linux/UdevAtaInformation.cpp
  linux/UdevRoots.cpp
  linux/UdevTreeSource.cpp
  linux/UdevLibrarySource.cpp
  linux/UdevDeviceRegistry.cpp
  linux/SgioSyscalls.cpp
  linux/SgioCommand.cpp
  linux/SgioSmartDevice.cpp
  linux/SgioSmartBackend.cpp
  linux/LinuxDisks.cpp)
target_link_libraries(dt_disk_linux PUBLIC dt_disk PRIVATE PkgConfig::UDEV)
