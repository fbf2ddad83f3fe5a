// SPDX-License-Identifier: GPL-2.0-or-later
// One SMART temperature read on the Linux backends, nothing else: the program that
// count-syscalls.sh runs under strace. Usage: disk_read_once SYSFS_ROOT [DISK] [-v]
#include <cstdio>
#include <cstring>

#include "common/Log.h"
#include "hardware/disk/DiskAccess.h"
#include "hardware/disk/linux/LinuxDisks.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SYSFS_ROOT [DISK] [-v]\n", argv[0]);
        return 2;
    }
    if (argc > 3 && std::strcmp(argv[3], "-v") == 0)
        drivetherm::log::setLevel(drivetherm::log::Level::Debug);
    drivetherm::LinuxDisks disks(argv[1]);
    drivetherm::DiskAccess access(&disks.registry(), &disks.smartBackend());
    const unsigned temperature = access.reader().readDriveTemperature(argc > 2 ? argv[2] : "disk0");
    // On standard error: standard output would cost a terminal check of its own.
    std::fprintf(stderr, "%u\n", temperature);
    return 0;
}
