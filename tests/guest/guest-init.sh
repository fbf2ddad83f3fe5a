#!/bin/busybox sh
# SPDX-License-Identifier: GPL-2.0-or-later
# The first process of the guest that run-guest.sh boots: mounts the kernel's file systems,
# loads the disk drivers, waits for the emulated disks and runs the checks, first before any
# udev daemon ran, then with systemd-udevd's database filled, then once more with the SG_IO
# backend set to ATA PASS-THROUGH (12). Progress and results go to the second serial port
# (/dev/ttyS1), where the kernel writes nothing: lines "DTGUEST <what> ..." mark each step and
# GoogleTest's own output lies between them. The kernel's console stays on the first port.
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

# The controllers probe their ports in parallel; the disks and their partitions show up in
# /sys/class/block within a few seconds of the drivers loading.
tries=0
while [ "$(ls /sys/class/block | wc -l)" -lt "$DT_GUEST_BLOCK_DEVICES" ] && [ $tries -lt 300 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
mark disks $(ls /sys/class/block)

checks() { # RUN-NAME FILTER VARIABLE=VALUE...
    run=$1 filter=$2
    shift 2
    mark run "$run"
    env "$@" /usr/bin/guest_check --gtest_color=no --gtest_filter="$filter" > "$out" 2>&1
    mark exit "$run" "$?"
}

checks without-udev "$DT_GUEST_FILTER" DT_GUEST_UDEV=no DT_GUEST_CDB=16

# udev as the daemon's machine has it: Debian's systemd-udevd with the distribution's storage
# rules (ata_id fills ID_ATA*, ID_MODEL_ENC), fed the kernel's "add" events again.
mark udev-start
/lib/systemd/systemd-udevd --daemon --resolve-names=never > /tmp/udevd.log 2>&1
udevadm trigger --type=devices --action=add
udevadm settle --timeout=60 || mark note "udevadm settle timed out"
mark udev-settled

checks with-udev "$DT_GUEST_FILTER" DT_GUEST_UDEV=yes DT_GUEST_CDB=16
checks with-udev-cdb12 "$DT_GUEST_CDB12_FILTER" DT_GUEST_UDEV=yes DT_GUEST_CDB=12

if [ "${DT_GUEST_FIGURES:-0}" = 1 ]; then
    mark figures
    guest_check --time-reads 50 disk0 > "$out" 2>&1
    strace -c -f -o /tmp/read.strace guest_check --read-once disk0 > /dev/null 2>&1
    strace -c -f -o /tmp/idle.strace guest_check --idle > /dev/null 2>&1
    sed 's/^/figure strace-read: /' /tmp/read.strace > "$out"
    sed 's/^/figure strace-idle: /' /tmp/idle.strace > "$out"
    strace -f -o /tmp/read.trace guest_check --read-once disk0 > /dev/null 2>&1
    strace -f -o /tmp/idle.trace guest_check --idle > /dev/null 2>&1
    # Where the opens go: libudev resolves sysfs paths one component at a time (O_PATH opens
    # relative to the directory before), so those are counted apart.
    for trace in read idle; do
        echo "figure openat-by-place $trace: /sys $(grep -c 'openat(AT_FDCWD, "/sys/' /tmp/$trace.trace)," \
            "/run/udev $(grep -c 'openat(AT_FDCWD, "/run/udev/' /tmp/$trace.trace)," \
            "/dev $(grep -c 'openat(AT_FDCWD, "/dev/' /tmp/$trace.trace)," \
            "relative to a directory $(grep -c 'openat([0-9]' /tmp/$trace.trace)," \
            "elsewhere $(grep 'openat(AT_FDCWD, ' /tmp/$trace.trace | grep -c -v -E '"/(sys|run/udev|dev)/')" > "$out"
    done
    grep -E 'ioctl\(.*(SG_IO|NVME)|openat\(.*"/dev/|openat\(.*runtime_status' /tmp/read.trace | sed 's/^/figure trace: /' > "$out"
    # The health log page as this kernel and emulator return it, for the tests' captured data.
    [ "$DT_GUEST_MACHINE" != nvme ] || guest_check --nvme-health-log /dev/nvme0n1 > "$out" 2>&1
fi

udevadm control --exit 2> /dev/null
mark done
poweroff -f
