#!/bin/busybox sh
# SPDX-License-Identifier: GPL-2.0-or-later
# The first process of a guest that run-guest.sh boots as a Mac (--machine smc): mounts the
# kernel's file systems, loads the kernel's applesmc driver, which probes the emulated SMC, and
# runs the SMC checks once. Progress and results go to the second serial port (/dev/ttyS1) as in
# the disk guests: "DTGUEST <what> ..." marks each step, GoogleTest's own output lies between.
/bin/busybox --install -s /bin
export PATH=/bin:/sbin:/usr/bin:/usr/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp

out=/dev/ttyS1
mark() { echo "DTGUEST $* uptime=$(cut -d' ' -f1 /proc/uptime)" > "$out"; }
mark booted

set -a
. /etc/drivetherm-guest.env
set +a

for module in $(cat /lib/modules/load-order); do
    insmod "/lib/modules/$module.ko" || mark note "insmod $module failed"
done
# The driver probes while it loads: its files are there, or it failed (the checks say how).
mark smc "$(cat /sys/devices/platform/applesmc.768/key_count 2> /dev/null || echo no-driver) keys"

mark run smc
/usr/bin/guest_check --gtest_color=no --gtest_filter="$DT_GUEST_FILTER" > "$out" 2>&1
mark exit smc "$?"

mark done
poweroff -f
