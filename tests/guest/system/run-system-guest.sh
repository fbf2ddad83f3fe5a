#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# The system guest: a whole Debian 12 system (systemd as PID 1, the system bus, polkitd, udev)
# booted under QEMU (software emulation, never KVM) as an iMac with the emulated SMC of
# tests/guest/emulator and its root file system on an AHCI disk. The drivetherm package is
# installed in it with apt as a user would, and check.sh checks the service, the bus policy,
# polkit, a stop, a crash, a dry run, the manual pages, a reboot and a purge.
#
#   run-system-guest.sh --deb DRIVETHERM_DEB --smc-keys KEYS --smbios-product NAME
#                       --check GUEST_CHECK [--keep]
#
# The root image is the one build-system-image.sh keeps in the user's cache; each run boots a
# qcow2 overlay of it in a scratch directory, so the image stays as it was built. check.sh, the
# SMC's test-port helper and the .deb reach the guest on a second (virtio) disk holding a tar
# archive; the guest's drivetherm-guest-check.service unpacks and runs them after boot and writes
# what they find to the second serial port. The guest reboots once by itself (same overlay) and
# powers itself off at the end; QEMU is killed when the run ends, however it ends.
#
# Exit status: 0 every check passed, 1 a check failed (its line is printed) or the guest broke
# after it booted, 77 this cannot run here (no QEMU, no emulator, no image), in one line.
set -eu

SKIP=77
BOOT_LIMIT=300      # seconds from QEMU's start to the first boot's checks starting
RUN_LIMIT=900       # seconds for the whole run, both boots
here=$(cd "$(dirname "$0")" && pwd)

deb="" smc_keys="" smbios_product="" check="" keep=0
while [ $# -gt 0 ]; do
    case $1 in
        --deb) deb=$2; shift 2 ;;
        --smc-keys) smc_keys=$2; shift 2 ;;
        --smbios-product) smbios_product=$2; shift 2 ;;
        --check) check=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "usage: run-system-guest.sh --deb DEB --smc-keys KEYS --smbios-product NAME --check GUEST_CHECK [--keep]" >&2; exit 2 ;;
    esac
done
[ -f "$smc_keys" ] && [ -n "$smbios_product" ] && [ -x "$check" ] ||
    { echo "run-system-guest.sh: needs --smc-keys, --smbios-product and --check (see its header)" >&2; exit 2; }

skip() {
    echo "system guest: SKIPPED: $*"
    exit $SKIP
}
fail() {
    echo "system guest: FAILED: $*"
    exit 1
}
[ -f "$deb" ] || fail "the drivetherm package is not built (${deb:-no --deb}; scripts/build-packages --headless builds it)"
for tool in qemu-img:qemu-utils tar:tar timeout:coreutils; do
    command -v "${tool%%:*}" > /dev/null 2>&1 || skip "${tool%%:*} is not installed (Debian package ${tool#*:}; scripts/install-deps installs it)"
done
# The emulator and the image: built by the tier's fixtures, only looked up here.
status=0
emulator=$(sh "$here/../emulator/build-emulator.sh" --cached) || status=$?
[ $status = 0 ] || { [ $status = $SKIP ] && skip "${emulator#emulator: SKIPPED: }"; fail "$emulator"; }
emulator=$(echo "$emulator" | tail -1)
image=$(sh "$here/build-system-image.sh" --deb "$deb" --cached) || status=$?
[ $status = 0 ] || { [ $status = $SKIP ] && skip "${image#system image: SKIPPED: }"; fail "$image"; }
image=$(echo "$image" | tail -1)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/drivetherm-system-guest.XXXXXX")
qemu_pid=""
stop_qemu() {
    [ -n "$qemu_pid" ] || return 0
    kill -TERM "$qemu_pid" 2> /dev/null || true
    waited=0
    while kill -0 "$qemu_pid" 2> /dev/null && [ $waited -lt 20 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -KILL "$qemu_pid" 2> /dev/null || true
    wait "$qemu_pid" 2> /dev/null || true
}
cleanup() {
    stop_qemu
    if [ $keep = 1 ]; then echo "system guest: scratch kept in $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# The run's own disk over the cached image, and the payload disk.
qemu-img create -q -f qcow2 -b "$image/root.qcow2" -F qcow2 "$scratch/root.qcow2" > /dev/null ||
    fail "qemu-img cannot make an overlay of $image/root.qcow2"
mkdir "$scratch/payload"
cp "$here/check.sh" "$here/smc-control" "$deb" "$scratch/payload/"
chmod 755 "$scratch/payload/smc-control"
tar -cf "$scratch/payload.tar" -C "$scratch/payload" .
"$check" --smc-key-table "$smc_keys" > "$scratch/smc-keys.table" || fail "cannot read the key list $smc_keys"

now_ms() { date +%s%3N; }
results="$scratch/results.log"
console="$scratch/console.log"
: > "$results"
started=$(now_ms)
# No -no-reboot: the guest's reboot is a reboot of the same machine, on the same overlay.
timeout -s KILL $((RUN_LIMIT + 30)) "$emulator" -accel tcg -machine pc -m 1024 -smp 2 -nodefaults -display none \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "root=/dev/sda rw console=ttyS0 panic=-1 systemd.show_status=0 loglevel=4" \
    -serial "file:$console" -serial "file:$results" \
    -device ich9-ahci,id=ahci \
    -drive "file=$scratch/root.qcow2,if=none,id=root,format=qcow2" \
    -device "ide-hd,drive=root,bus=ahci.0,model=DRIVETHERM SYSTEM GUEST DISK,serial=DTSYS0001,rotation_rate=7200" \
    -drive "file=$scratch/payload.tar,if=none,id=payload,format=raw,readonly=on" \
    -device virtio-blk-pci,drive=payload,serial=dtpayload \
    -smbios "type=1,manufacturer=Apple Inc.,product=$(echo "$smbios_product" | sed 's/,/,,/g')" \
    -smbios "type=2,manufacturer=Apple Inc." \
    -chardev "file,id=smclog,path=$scratch/smc.log" \
    -device "isa-keyed-smc,iobase=0x300,control=0x320,keys=$scratch/smc-keys.table,chardev=smclog" \
    -L /usr/share/qemu -L /usr/share/seabios > "$scratch/qemu.log" 2>&1 &
qemu_pid=$!

booted_ms="" rebooted_ms="" done_ms="" timed_out=""
while kill -0 "$qemu_pid" 2> /dev/null; do
    elapsed=$(($(now_ms) - started))
    if [ -z "$booted_ms" ]; then
        if grep -q '^DTGUEST booted 1' "$results"; then
            booted_ms=$elapsed
        elif [ $elapsed -gt $((BOOT_LIMIT * 1000)) ]; then
            timed_out=boot
            break
        fi
    fi
    [ -n "$rebooted_ms" ] || ! grep -q '^DTGUEST booted 2' "$results" || rebooted_ms=$elapsed
    if [ -z "$done_ms" ] && grep -q '^DTGUEST done' "$results"; then
        done_ms=$elapsed
    fi
    # The guest powers itself off; one that does not within a minute is stopped.
    if [ -n "$done_ms" ] && [ $elapsed -gt $((done_ms + 60000)) ]; then break; fi
    if [ $elapsed -gt $((RUN_LIMIT * 1000)) ]; then
        timed_out=run
        break
    fi
    sleep 0.5
done
ended_ms=$(($(now_ms) - started))
stop_qemu
qemu_pid=""
tr -d '\r' < "$results" > "$results.txt"

if [ -z "$booted_ms" ]; then
    reason=$(grep -v '^$' "$scratch/qemu.log" | head -1)
    [ -n "$reason" ] || reason=$(tr -d '\r' < "$console" | grep -a -v '^$' | tail -1)
    echo "----- the end of the kernel console -----"
    tr -d '\r' < "$console" | tail -30
    fail "the guest's checks did not start${timed_out:+ within ${BOOT_LIMIT}s}: ${reason:-no output}"
fi

grep -a -E '^(PASS|FAIL|FIGURE|  )' "$results.txt" || true
passed=$(grep -c '^PASS ' "$results.txt" || true)
failed=$(grep -c '^FAIL ' "$results.txt" || true)
echo "system guest: QEMU start to first boot's checks ${booted_ms} ms, to second boot's ${rebooted_ms:-none} ms," \
    "to done ${done_ms:-none} ms, QEMU ended after ${ended_ms} ms; image: $(cat "$image/build-time" 2> /dev/null || echo unknown)"
problem=""
[ -n "$rebooted_ms" ] || problem="the guest did not come back after its reboot"
[ -n "$done_ms" ] || problem="${problem:+$problem; }the guest did not finish${timed_out:+ (stopped after ${RUN_LIMIT}s)}"
[ "$failed" -eq 0 ] || problem="${problem:+$problem; }$failed check(s) failed"
[ "$passed" -gt 0 ] || problem="${problem:+$problem; }no check passed"
if [ -n "$problem" ]; then
    echo "----- guest output (second serial port) -----"
    cat "$results.txt"
    echo "----- the end of the kernel console -----"
    tr -d '\r' < "$console" | tail -40
    echo "----- the emulated SMC's last exchanges -----"
    tail -10 "$scratch/smc.log" 2> /dev/null || true
    fail "$problem"
fi
echo "system guest: $passed passed, 0 failed"
