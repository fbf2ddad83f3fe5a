#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Counts the system calls of one SMART temperature read on the Linux backends against a fake
# sysfs tree of N SATA disks (default 1 and 16), with strace -c -f. The fake disk nodes are
# plain files, so the SG_IO calls fail with ENOTTY where a real disk would answer; their number
# is the same. Usage: count-syscalls.sh BUILD_DIR [N...]
set -eu
build=${1:?usage: count-syscalls.sh BUILD_DIR [N...]}
shift
probe="$build/bench/disk/disk_read_once"
[ -x "$probe" ] || { echo "count-syscalls.sh: $probe not built (ninja -C $build disk_read_once)" >&2; exit 1; }
command -v strace >/dev/null || { echo "count-syscalls.sh: strace is not installed" >&2; exit 1; }
[ $# -gt 0 ] || set -- 1 16

make_tree() {
    root=$1 count=$2 i=0
    mkdir -p "$root/sys/class/block" "$root/dev" "$root/run/udev/data"
    for letter in a b c d e f g h i j k l m n o p q r s t u v w x y z; do
        [ "$i" -lt "$count" ] || break
        name="sd$letter" minor=$((16 * i))
        rel="devices/pci0000:00/0000:00:1f.2/ata$((i + 1))/host$i/target$i:0:0/$i:0:0:0/block/$name"
        mkdir -p "$root/sys/$rel/device/power"
        printf 'MAJOR=8\nMINOR=%s\nDEVNAME=%s\nDEVTYPE=disk\n' "$minor" "$name" > "$root/sys/$rel/uevent"
        printf '8:%s\n' "$minor" > "$root/sys/$rel/dev"
        printf 'Model %s        \n' "$i" > "$root/sys/$rel/device/model"
        printf 'ATA     \n' > "$root/sys/$rel/device/vendor"
        printf 'active\n' > "$root/sys/$rel/device/power/runtime_status"
        ln -s "../../$rel" "$root/sys/class/block/$name"
        printf 'E:ID_ATA=1\nE:ID_ATA_FEATURE_SET_SMART=1\nE:ID_MODEL_ENC=Model\\x20%s\n' "$i" > "$root/run/udev/data/b8:$minor"
        : > "$root/dev/$name"
        i=$((i + 1))
    done
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for count in "$@"; do
    make_tree "$scratch/$count" "$count"
    # The baseline: the same program with no disk to find (an empty tree), so start-up and
    # exit are not counted as the read's.
    mkdir -p "$scratch/empty$count/sys/class/block"
    total=$(strace -c -f -o "$scratch/trace" "$probe" "$scratch/$count/sys" disk0 2>/dev/null && awk '$NF == "total" {print $4}' "$scratch/trace")
    base=$(strace -c -f -o "$scratch/base" "$probe" "$scratch/empty$count/sys" disk0 2>/dev/null && awk '$NF == "total" {print $4}' "$scratch/base")
    echo "== $count disk(s): $total system calls in all, $base with no disk to read: $((total - base)) for the read"
    cat "$scratch/trace"
done
