#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# System calls per steady daemon tick and per temperature check of the applesmc transport on a
# fake tree: strace -c of applesmc_tick with 0 and with N rounds; the difference over N is the
# cost of one round. Usage: tick-syscalls.sh BUILD_DIR [KEYLIST] [N]
# The tree is made under $TMPDIR (default /tmp); TMPDIR=/dev/shm keeps a disk's writes out of the
# times.
set -eu
build=${1:?build directory}
keys=${2:-$(dirname "$0")/../../tests/data/smc/imac12-1.keys}
n=${3:-1000}
program="$build/bench/smc/applesmc_tick"
calls() {
    strace -c -f -o /tmp/drivetherm-strace.$$ "$program" "$1" "$keys" "$2" >/dev/null
    awk '/^[ ]*[0-9.]+ +[0-9.]+ +[0-9]+ +[0-9]+/ && $NF != "total" {sum += $4} END {print sum}' /tmp/drivetherm-strace.$$
}
for mode in tick check; do
    base=$(calls "$mode" 0)
    many=$(calls "$mode" "$n")
    echo "$mode: $(awk -v a="$base" -v b="$many" -v n="$n" 'BEGIN {printf "%.2f", (b - a) / n}') system calls per round"
    strace -c -f -o /tmp/drivetherm-strace.$$ "$program" "$mode" "$keys" "$n" >/dev/null
    awk '/^[ ]*[0-9.]+ +[0-9.]+ +[0-9]+ +[0-9]+/ && $NF != "total" && $4 > '"$n"' / 2 {printf "    %-10s %d\n", $NF, $4}' /tmp/drivetherm-strace.$$
    "$program" "$mode" "$keys" "$n"
done
rm -f /tmp/drivetherm-strace.$$
