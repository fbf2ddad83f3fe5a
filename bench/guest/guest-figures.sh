#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Figures of the disk path on a real Linux kernel, from the guest tier's harness: per guest, the
# time from QEMU's start to the guest's first mark, its first result and its last result; in
# the SATA guest (with udev, as on the daemon's machine; QEMU's disk reports attribute 190) and
# in the NVMe guest (disk0 is the NVMe drive, read through its health log) the time of one SMART
# temperature read, whole and by step, and its system calls counted by strace -c inside the
# guest, beside the same program started and ended without the read. Times are under software emulation
# (QEMU's TCG), several times slower than the same kernel on real hardware.
#
# Usage: guest-figures.sh BUILD_DIR [RUNS]    (guest_check built: ninja -C BUILD_DIR guest_check)
set -eu
build=${1:?usage: guest-figures.sh BUILD_DIR [RUNS]}
runs=${2:-1}
check="$build/tests/guest/guest_check"
harness="$(cd "$(dirname "$0")/../.." && pwd)/tests/guest/run-guest.sh"
[ -x "$check" ] || { echo "guest-figures.sh: $check not built (ninja -C $build guest_check)" >&2; exit 1; }

for machine in sata ide nvme; do
    run=1
    while [ $run -le "$runs" ]; do
        figures=""
        [ "$machine" != ide ] && [ $run = 1 ] && figures=--figures
        status=0
        sh "$harness" --machine $machine --check "$check" --cache "$build/guest-cache" $figures > "$build/guest-figures.log" 2>&1 || status=$?
        [ $status = 0 ] || { cat "$build/guest-figures.log"; echo "guest-figures.sh: the $machine guest ended with status $status" >&2; exit 1; }
        echo "== $machine guest, run $run"
        grep -E "^guest $machine: QEMU start|^figure " "$build/guest-figures.log"
        run=$((run + 1))
    done
done
rm -f "$build/guest-figures.log"
