#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Boots Debian's kernel under QEMU (software emulation, never KVM) with emulated disks and runs
# guest_check inside it: the disk registry, the drive list, the disk selection and the SMART
# reader against a real kernel's libata, SCSI and SG_IO, without and with systemd-udevd; or
# the SMC code and programs against the kernel's own applesmc driver and an emulated SMC.
#
#   run-guest.sh --machine sata|ide|nvme --check GUEST_CHECK [--cache DIR] [--figures] [--keep]
#   run-guest.sh --machine smc --smc-keys KEYS --smbios-product NAME --tool DRIVETHERM_SMC
#                --daemon DRIVETHERMD --check GUEST_CHECK [--cache DIR] [--keep]
#
#   sata  an AHCI controller with two SATA disks of different models; the first has a
#         partition table and spins at 7200 rpm, the second is solid-state
#   ide   the old IDE controller with one disk (with a partition table) and a CD-ROM drive
#   nvme  an NVMe drive (QEMU's nvme device, whose health log reports a composite temperature)
#         beside one SATA disk, as in an iMac whose blade slot took an NVMe drive
#   smc   a Mac by its SMBIOS product name (the applesmc driver loads on nothing else), with the
#         SMC of tests/guest/emulator at I/O port 0x300 holding the keys of KEYS (a key list of
#         tests/data/smc); the emulator is the one build-emulator.sh keeps in the user's cache
#
# What it needs comes from Debian's packages: qemu-system-x86, busybox-static, kmod and
# smartmontools (dbus-daemon for a Mac) installed (scripts/install-deps), strace too for
# --figures; the kernel image
# and udev are fetched with apt-get download and unpacked, never installed. The .deb files and
# what is taken from them are kept in the cache directory (default:
# ${XDG_CACHE_HOME:-~/.cache}/drivetherm/guest, outside any build tree), so a second
# run fetches nothing. Everything else lives in a scratch directory removed on exit; QEMU is
# killed when the run ends, however it ends.
#
# Exit status: 0 every check passed, 1 a check failed (its name is printed) or the guest broke
# after it booted, 77 the tier cannot run here (no emulator, no kernel package, a kernel that
# does not boot), with the reason in one line.
set -eu

SKIP=77
BOOT_LIMIT=120      # seconds from QEMU's start to the guest's first mark
RUN_LIMIT=240       # seconds for the whole guest
here=$(cd "$(dirname "$0")" && pwd)

machine="" check="" cache="${XDG_CACHE_HOME:-$HOME/.cache}/drivetherm/guest" figures=0 keep=0
smc_keys="" smbios_product="" smc_tool="" daemon=""
while [ $# -gt 0 ]; do
    case $1 in
        --machine) machine=$2; shift 2 ;;
        --check) check=$2; shift 2 ;;
        --cache) cache=$2; shift 2 ;;
        --figures) figures=1; shift ;;
        --keep) keep=1; shift ;;
        --smc-keys) smc_keys=$2; shift 2 ;;
        --smbios-product) smbios_product=$2; shift 2 ;;
        --tool) smc_tool=$2; shift 2 ;;
        --daemon) daemon=$2; shift 2 ;;
        *) echo "usage: run-guest.sh --machine sata|ide|nvme|smc --check GUEST_CHECK [--cache DIR] [--figures] [--keep] (see its header)" >&2; exit 2 ;;
    esac
done
case $machine in
    sata | ide | nvme) ;;
    smc) [ -f "$smc_keys" ] && [ -n "$smbios_product" ] && [ -x "$smc_tool" ] && [ -x "$daemon" ] ||
        { echo "run-guest.sh: --machine smc needs --smc-keys, --smbios-product, --tool and --daemon" >&2; exit 2; } ;;
    *) echo "run-guest.sh: --machine sata, ide, nvme or smc" >&2; exit 2 ;;
esac

skip() {
    echo "guest $machine: SKIPPED: $*"
    exit $SKIP
}
fail() {
    echo "guest $machine: FAILED: $*"
    exit 1
}

[ -n "$check" ] && [ -x "$check" ] || fail "guest_check is not built ($check)"
check=$(cd "$(dirname "$check")" && pwd)/$(basename "$check")

need() { # TOOL PACKAGE
    command -v "$1" > /dev/null 2>&1 || skip "$1 is not installed (Debian package $2; scripts/install-deps installs it)"
}
need qemu-system-x86_64 qemu-system-x86
need busybox busybox-static
need modinfo kmod
need apt-get apt
need dpkg-deb dpkg
[ $figures = 0 ] || need strace strace
emulator=qemu-system-x86_64
if [ $machine = smc ]; then
    need dbus-daemon dbus-daemon
    # The emulator with the SMC: built by the tier's first test (build-emulator.sh), only looked up here.
    emulator_status=0
    emulator=$(sh "$here/emulator/build-emulator.sh" --cached) || emulator_status=$?
    [ $emulator_status = 0 ] || { [ $emulator_status = $SKIP ] && skip "${emulator#emulator: SKIPPED: }"; fail "$emulator"; }
    emulator=$(echo "$emulator" | tail -1)
else
    need smartctl smartmontools
fi

mkdir -p "$cache/debs"
cache=$(cd "$cache" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/drivetherm-guest.XXXXXX")
qemu_pid=""
# QEMU runs under timeout(1), which passes a TERM on and kills it by itself should this
# script be killed outright before its trap runs.
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
    if [ $keep = 1 ]; then echo "guest $machine: scratch kept in $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# --- Debian's packages, fetched once into the cache ----------------------------------------

# The newest cached .deb of a package, else one fetched now; nothing when neither works.
fetch_deb() { # PACKAGE
    found=$(ls -t "$cache/debs/$1"_*.deb 2> /dev/null | head -1 || true)
    if [ -z "$found" ]; then
        (cd "$cache/debs" && apt-get download "$1" > "$scratch/apt-$1.log" 2>&1) || true
        found=$(ls -t "$cache/debs/$1"_*.deb 2> /dev/null | head -1 || true)
    fi
    echo "$found"
}

kernel_package=$(apt-cache depends linux-image-amd64 2> /dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}' || true)
[ -n "$kernel_package" ] || kernel_package=$(ls -t "$cache/debs" 2> /dev/null | sed -n 's/^\(linux-image-[0-9][^_]*\)_.*\.deb$/\1/p' | head -1)
[ -n "$kernel_package" ] || skip "apt knows no linux-image-amd64 package and none is cached (apt-get update first)"
kernel_deb=$(fetch_deb "$kernel_package")
[ -n "$kernel_deb" ] || skip "cannot fetch $kernel_package: $(tail -1 "$scratch/apt-$kernel_package.log" 2> /dev/null)"
udev_deb=$(fetch_deb udev)
[ -n "$udev_deb" ] || skip "cannot fetch udev: $(tail -1 "$scratch/apt-udev.log" 2> /dev/null)"

# Unpacks a cached .deb; one that does not unpack (a download cut short) is fetched again once.
unpack_deb() { # PACKAGE DEB DIRECTORY
    dpkg-deb -x "$2" "$3" 2> /dev/null && return 0
    rm -rf "$2" "$3"
    again=$(fetch_deb "$1")
    [ -n "$again" ] && dpkg-deb -x "$again" "$3" 2> /dev/null || skip "cannot unpack $1 ($(basename "$2"))"
}

# Only the packages in use stay in the cache: a kernel update leaves no 70 MB behind.
for old in "$cache"/debs/linux-image-*.deb "$cache"/debs/udev_*.deb; do
    [ -e "$old" ] && [ "$old" != "$kernel_deb" ] && [ "$old" != "$udev_deb" ] && rm -f "$old"
done
for old in "$cache"/kernel-* "$cache"/udev_*; do
    case $old in
        "$cache/kernel-$(basename "$kernel_deb" .deb)-"* | "$cache/$(basename "$udev_deb" .deb)") ;;
        *) [ -e "$old" ] && rm -rf "$old" ;;
    esac
done

# The modules the disks need, with what they depend on, loaded in this order. crct10dif and
# crc64-rocksoft are soft dependencies (crypto algorithms) modinfo does not list as such. A Mac
# needs only the SMC's driver.
WANTED_MODULES="crct10dif_generic crc64_rocksoft_generic ahci ata_piix sd_mod sr_mod"
[ $machine != nvme ] || WANTED_MODULES="crct10dif_generic crc64_rocksoft_generic ahci sd_mod nvme"
[ $machine != smc ] || WANTED_MODULES="applesmc"
kernel_dir="$cache/kernel-$(basename "$kernel_deb" .deb)-$(echo "$WANTED_MODULES" | cksum | cut -d' ' -f1)"
if [ ! -f "$kernel_dir/load-order" ]; then
    unpack_deb "$kernel_package" "$kernel_deb" "$scratch/kernel"
    modules=$(echo "$scratch"/kernel/lib/modules/*)
    module_file() { find "$modules" -name "$1.ko*" -o -name "$(echo "$1" | tr _ -).ko*" -o -name "$(echo "$1" | tr - _).ko*" | head -1; }
    # Depth-first: what a module depends on comes before it.
    closure() {
        for wanted in "$@"; do
            file=$(module_file "$wanted")
            [ -n "$file" ] || fail "the kernel package has no module $wanted"
            depends=$(modinfo -F depends "$file" | tr , ' ')
            # shellcheck disable=SC2086
            [ -z "$depends" ] || (closure $depends)
            echo "$wanted"
        done
    }
    # shellcheck disable=SC2086
    order=$(closure $WANTED_MODULES | awk '!seen[$0]++')
    mkdir -p "$scratch/kernel-cache/modules"
    cp "$scratch"/kernel/boot/vmlinuz-* "$scratch/kernel-cache/vmlinuz"
    # The uncompressed kernel boots straight into its PVH entry point: under emulation that
    # saves the firmware and the kernel's own decompression, about six seconds a guest.
    if command -v xz > /dev/null 2>&1; then
        offset=$(LC_ALL=C grep -abo "$(printf '\3757zXZ')" "$scratch/kernel-cache/vmlinuz" | head -1 | cut -d: -f1)
        if [ -n "$offset" ] && tail -c +$((offset + 1)) "$scratch/kernel-cache/vmlinuz" |
            xz -dc --single-stream > "$scratch/kernel-cache/vmlinux" 2> /dev/null &&
            LC_ALL=C grep -aq 'Xen' "$scratch/kernel-cache/vmlinux"; then
            :
        else
            rm -f "$scratch/kernel-cache/vmlinux"
        fi
    fi
    for module in $order; do
        file=$(module_file "$module")
        case $file in
            *.ko) cp "$file" "$scratch/kernel-cache/modules/$module.ko" ;;
            *.ko.xz) xz -dc "$file" > "$scratch/kernel-cache/modules/$module.ko" ;;
            *) fail "cannot unpack module $file" ;;
        esac
    done
    echo $order > "$scratch/kernel-cache/load-order"
    rm -rf "$kernel_dir"
    mv "$scratch/kernel-cache" "$kernel_dir"
    rm -rf "$scratch/kernel"
fi

udev_dir="$cache/$(basename "$udev_deb" .deb)"
if [ ! -x "$udev_dir/bin/udevadm" ]; then
    unpack_deb udev "$udev_deb" "$scratch/udev"
    rm -rf "$udev_dir"
    mv "$scratch/udev" "$udev_dir"
fi

# --- The initramfs ---------------------------------------------------------------------------

root="$scratch/root"
mkdir -p "$root/bin" "$root/usr/bin" "$root/usr/sbin" "$root/lib/modules" "$root/lib/udev/rules.d" \
    "$root/lib/systemd" "$root/etc" "$root/dev" "$root/proc" "$root/sys" "$root/run" "$root/tmp"

# A program and the shared libraries ldd names for it, at the same paths in the guest.
install_program() { # SOURCE DESTINATION [LIBRARY_PATH]
    cp -L "$1" "$root$2"
    libraries=$(LD_LIBRARY_PATH=${3:-} ldd "$1" 2> /dev/null || true)
    missing=$(echo "$libraries" | awk '/not found/ {print $1}')
    [ -z "$missing" ] || skip "$(basename "$1") needs $missing, which this machine lacks"
    for library in $(echo "$libraries" | grep -o '/[^ ]*'); do
        [ -e "$root$library" ] && continue
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
}

cp "$kernel_dir"/modules/*.ko "$root/lib/modules/"
cp "$kernel_dir/load-order" "$root/lib/modules/load-order"
install_program "$(command -v busybox)" /bin/busybox
install_program "$check" /usr/bin/guest_check
# A debug build's symbols are most of its size, and every byte of the initramfs is copied and
# unpacked under emulation; GoogleTest's messages keep their file and line without them.
if command -v strip > /dev/null 2>&1; then strip --strip-debug "$root/usr/bin/guest_check"; fi
[ $figures = 0 ] || install_program "$(command -v strace)" /usr/bin/strace
if [ $machine = smc ]; then
    # The programs under test, and a bus for the daemon.
    install_program "$smc_tool" /usr/bin/drivetherm-smc
    install_program "$daemon" /usr/sbin/drivethermd
    if command -v strip > /dev/null 2>&1; then strip --strip-debug "$root/usr/bin/drivetherm-smc" "$root/usr/sbin/drivethermd"; fi
    install_program "$(command -v dbus-daemon)" /usr/bin/dbus-daemon
    # dbus-daemon looks up the user it serves and wants a machine id.
    echo "root:x:0:0:root:/root:/bin/sh" > "$root/etc/passwd"
    echo "root:x:0:" > "$root/etc/group"
    echo "d7e1a2c3b4f5061728394a5b6c7d8e9f" > "$root/etc/machine-id"
    mkdir -p "$root/etc/drivetherm"
    cp "$smc_keys" "$root/etc/drivetherm/smc.keys"
    cp "$here/guest-smc-init.sh" "$root/init"
else
    install_program "$(command -v smartctl)" /usr/sbin/smartctl
    install_program "$udev_dir/bin/udevadm" /bin/udevadm "$udev_dir/lib/systemd"
    ln -s /bin/udevadm "$root/lib/systemd/systemd-udevd"
    for helper in ata_id scsi_id cdrom_id; do install_program "$udev_dir/lib/udev/$helper" "/lib/udev/$helper"; done
    # The distribution's rules for block devices; the others (input, sound, module loading) have
    # nothing to do in this guest.
    for rules in 50-udev-default 60-block 60-cdrom_id 60-persistent-storage; do
        cp "$udev_dir/lib/udev/rules.d/$rules.rules" "$root/lib/udev/rules.d/"
    done
    cp "$here/guest-init.sh" "$root/init"
fi
chmod 755 "$root/init"

# --- The machine -----------------------------------------------------------------------------

# A 64 MiB image with an MBR partition table: one Linux partition from sector 2048 to the end.
partitioned_image() { # FILE
    truncate -s 64M "$1"
    printf '\000\040\041\000\203\376\377\377\000\010\000\000\000\370\001\000' | dd of="$1" bs=1 seek=446 conv=notrunc 2> /dev/null
    printf '\125\252' | dd of="$1" bs=1 seek=510 conv=notrunc 2> /dev/null
}

env_file="$root/etc/drivetherm-guest.env"
qemu_machine=""
case $machine in
    sata)
        model1="DRIVETHERM GUEST SATA 7200" serial1=DTGS0001
        model2="Second Guest Disk Model B" serial2=DTGS0002
        partitioned_image "$scratch/sata1.img"
        truncate -s 32M "$scratch/sata2.img"
        set -- -device ich9-ahci,id=ahci \
            -drive "file=$scratch/sata1.img,if=none,id=d1,format=raw" \
            -device "ide-hd,drive=d1,bus=ahci.0,model=$model1,serial=$serial1,rotation_rate=7200" \
            -drive "file=$scratch/sata2.img,if=none,id=d2,format=raw" \
            -device "ide-hd,drive=d2,bus=ahci.1,model=$model2,serial=$serial2,rotation_rate=1"
        cat > "$env_file" << ENV
DT_GUEST_MACHINE=sata
DT_GUEST_SERIALS="$serial1 $serial2"
DT_GUEST_MODEL_$serial1="$model1"
DT_GUEST_MODEL_$serial2="$model2"
DT_GUEST_ROTATION_$serial1=7200
DT_GUEST_ROTATION_$serial2=1
DT_GUEST_PARTITIONED=$serial1
DT_GUEST_BLOCK_DEVICES=3
DT_GUEST_FILTER="GuestDisks.*:GuestSmart.*:GuestNames.*-GuestNames.TheCdRomIsNoSmartDiskAndIsNotOpened"
DT_GUEST_CDB12_FILTER="GuestSmart.*:GuestNames.*-GuestNames.TheCdRomIsNoSmartDiskAndIsNotOpened"
ENV
        ;;
    ide)
        model1="DRIVETHERM GUEST IDE DISK" serial1=DTGI0001
        partitioned_image "$scratch/ide1.img"
        truncate -s 1M "$scratch/cdrom.img"
        set -- -drive "file=$scratch/ide1.img,if=none,id=d1,format=raw" \
            -device "ide-hd,drive=d1,bus=ide.0,unit=0,model=$model1,serial=$serial1" \
            -drive "file=$scratch/cdrom.img,if=none,id=cd,format=raw,media=cdrom,readonly=on" \
            -device ide-cd,drive=cd,bus=ide.1,unit=0
        cat > "$env_file" << ENV
DT_GUEST_MACHINE=ide
DT_GUEST_SERIALS="$serial1"
DT_GUEST_MODEL_$serial1="$model1"
DT_GUEST_PARTITIONED=$serial1
DT_GUEST_BLOCK_DEVICES=3
DT_GUEST_FILTER="GuestDisks.*:GuestSmart.*:GuestNames.*"
DT_GUEST_CDB12_FILTER="GuestSmart.*:GuestNames.*"
ENV
        ;;
    nvme)
        model1="DRIVETHERM GUEST SATA BESIDE NVME" serial1=DTGN0001 nvme_serial=DTNV0001
        truncate -s 32M "$scratch/sata1.img"
        truncate -s 64M "$scratch/nvme.img"
        set -- -device ich9-ahci,id=ahci \
            -drive "file=$scratch/sata1.img,if=none,id=d1,format=raw" \
            -device "ide-hd,drive=d1,bus=ahci.0,model=$model1,serial=$serial1,rotation_rate=1" \
            -drive "file=$scratch/nvme.img,if=none,id=nv0,format=raw" \
            -device "nvme,drive=nv0,serial=$nvme_serial"
        # QEMU's controller names itself; its model has no option.
        cat > "$env_file" << ENV
DT_GUEST_MACHINE=nvme
DT_GUEST_SERIALS="$serial1"
DT_GUEST_MODEL_$serial1="$model1"
DT_GUEST_ROTATION_$serial1=1
DT_GUEST_NVME_MODEL="QEMU NVMe Ctrl"
DT_GUEST_BLOCK_DEVICES=2
DT_GUEST_FILTER="GuestNvme.*:GuestSmart.*"
DT_GUEST_CDB12_FILTER="GuestNvme.*:GuestSmart.*"
ENV
        ;;
    smc)
        # The emulator reads the key list as the checks do: converted by their own reader.
        "$check" --smc-key-table "$smc_keys" > "$scratch/smc-keys.table" || fail "cannot read the key list $smc_keys"
        # "Apple" as the board's maker and the product's name are what the driver's DMI match asks.
        set -- -smbios "type=1,manufacturer=Apple Inc.,product=$(echo "$smbios_product" | sed 's/,/,,/g')" \
            -smbios "type=2,manufacturer=Apple Inc." \
            -chardev "file,id=smclog,path=$scratch/smc.log" \
            -device "isa-keyed-smc,iobase=0x300,control=0x320,keys=$scratch/smc-keys.table,chardev=smclog" \
            -L /usr/share/qemu -L /usr/share/seabios
        cat > "$env_file" << ENV
DT_GUEST_MACHINE=smc
DT_GUEST_SMC_PRODUCT="$smbios_product"
DT_GUEST_SMC_KEYS=/etc/drivetherm/smc.keys
DT_GUEST_SMC_CONTROL_PORT=0x320
DT_GUEST_FILTER="GuestSmc*"
ENV
        ;;
esac
echo "DT_GUEST_FIGURES=$figures" >> "$env_file"

(cd "$root" && find . | busybox cpio -o -H newc 2> /dev/null) > "$scratch/initramfs.cpio"

# --- The run ---------------------------------------------------------------------------------

now_ms() { date +%s%3N; }
results="$scratch/results.log"
console="$scratch/console.log"
: > "$results"
kernel="$kernel_dir/vmlinuz"
[ ! -f "$kernel_dir/vmlinux" ] || kernel="$kernel_dir/vmlinux"
started=$(now_ms)
timeout -s KILL $((RUN_LIMIT + 30)) "$emulator" -accel tcg -machine pc -m 512 -smp 1 -nodefaults -display none -no-reboot \
    -kernel "$kernel" -initrd "$scratch/initramfs.cpio" \
    -append "console=ttyS0 quiet panic=-1" \
    -serial "file:$console" -serial "file:$results" \
    "$@" > "$scratch/qemu.log" 2>&1 &
qemu_pid=$!

booted_ms="" first_ms="" done_ms="" timed_out=""
while kill -0 "$qemu_pid" 2> /dev/null; do
    elapsed=$(($(now_ms) - started))
    if [ -z "$booted_ms" ]; then
        if grep -q '^DTGUEST booted' "$results"; then
            booted_ms=$elapsed
        elif [ $elapsed -gt $((BOOT_LIMIT * 1000)) ]; then
            timed_out=boot
            break
        fi
    fi
    [ -n "$first_ms" ] || ! grep -q '^DTGUEST exit ' "$results" || first_ms=$elapsed
    [ -n "$done_ms" ] || ! grep -q '^DTGUEST done' "$results" || done_ms=$elapsed
    if [ $elapsed -gt $((RUN_LIMIT * 1000)) ]; then
        timed_out=run
        break
    fi
    sleep 0.1
done
qemu_status=0
if [ -n "$timed_out" ]; then
    stop_qemu
else
    wait "$qemu_pid" 2> /dev/null || qemu_status=$?
fi
qemu_pid=""
[ -n "$booted_ms" ] || ! grep -q '^DTGUEST booted' "$results" || booted_ms=$(($(now_ms) - started))
[ -n "$done_ms" ] || ! grep -q '^DTGUEST done' "$results" || done_ms=$(($(now_ms) - started))
tr -d '\r' < "$results" > "$results.txt"

if [ -z "$booted_ms" ]; then
    # The kernel came up but our first process did not: that is this harness's fault, not the
    # machine's.
    init_failure=$(tr -d '\r' < "$console" | grep -a -m1 -E 'Failed to execute /init|No working init found|Attempted to kill init' || true)
    [ -z "$init_failure" ] || fail "the guest's /init did not run: $init_failure"
    reason=$(grep -v '^$' "$scratch/qemu.log" | head -1)
    [ -n "$reason" ] || reason=$(tr -d '\r' < "$console" | grep -a -v '^$' | tail -1)
    if [ "$timed_out" = boot ]; then
        skip "the guest did not boot within ${BOOT_LIMIT}s (${reason:-no console output})"
    fi
    skip "QEMU ended (status $qemu_status) before the guest booted: ${reason:-no output}"
fi

# --- The verdict -----------------------------------------------------------------------------

summary=$(awk '
    /^DTGUEST run / { run = $3; runs[++nruns] = run; passed[run] = 0; failed[run] = 0 }
    /^DTGUEST exit / { status[$3] = $4 }
    /^DTGUEST note / { sub(/^DTGUEST note /, ""); sub(/ uptime=.*/, ""); notes = notes "  note: " $0 "\n" }
    /^\[       OK \] / { passed[run]++ }
    /^\[  FAILED  \] [A-Za-z0-9_]+\.[A-Za-z0-9_]+ \(/ { failed[run]++; names[run] = names[run] "  FAILED " run ": " $4 "\n" }
    /^\[  HUNG    \] / { failed[run]++; names[run] = names[run] "  HUNG   " run ": " $4 "\n" }
    END {
        for (i = 1; i <= nruns; i++) {
            run = runs[i]
            printf "guest run %s: %d passed, %d failed, exit status %s\n", run, passed[run], failed[run], (run in status) ? status[run] : "none (the run did not end)"
            printf "%s", names[run]
            total_passed += passed[run]; total_failed += failed[run]
            if (!(run in status) || status[run] != 0) broken = 1
        }
        printf "%s", notes
        printf "total %d %d %d %d\n", total_passed, total_failed, broken, nruns
    }' "$results.txt")
echo "$summary" | grep -v '^total '
set -- $(echo "$summary" | awk '/^total / {print $2, $3, $4, $5}')
total_passed=$1 total_failed=$2 broken=$3 runs=$4

guest_time() { # MARK
    sed -n "s/^DTGUEST $1.* uptime=\([0-9.]*\).*/\1/p" "$results.txt" | head -1
}
ready=disks
[ $machine != smc ] || ready=smc
echo "guest $machine: QEMU start to booted ${booted_ms} ms, to first result ${first_ms:-none} ms, to last result ${done_ms:-none} ms;" \
    "guest uptime at first mark $(guest_time booted) s, $ready ready $(guest_time $ready) s, done $(guest_time done) s"
[ $figures = 0 ] && [ $machine != smc ] || sed -n 's/^figure /figure /p' "$results.txt"

expected_runs=3
[ $machine != smc ] || expected_runs=1
problem=""
[ "$runs" -eq $expected_runs ] || problem="the guest ran $runs of $expected_runs runs of checks"
[ -n "$done_ms" ] || problem="${problem:+$problem; }the guest did not finish${timed_out:+ (killed after ${RUN_LIMIT}s)}"
[ "$broken" -eq 0 ] || problem="${problem:+$problem; }a run of checks did not end with status 0"
[ "$total_failed" -eq 0 ] || problem="${problem:+$problem; }$total_failed check(s) failed"
[ "$total_passed" -gt 0 ] || problem="${problem:+$problem; }no check passed"
if [ -n "$problem" ]; then
    echo "----- guest output (second serial port) -----"
    cat "$results.txt"
    echo "----- end of the kernel console -----"
    tr -d '\r' < "$console" | tail -20
    if [ -f "$scratch/smc.log" ]; then
        echo "----- the emulated SMC's last exchanges -----"
        tail -20 "$scratch/smc.log"
    fi
    fail "$problem"
fi
echo "guest $machine: $total_passed passed, 0 failed"
