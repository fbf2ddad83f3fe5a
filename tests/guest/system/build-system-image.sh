#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the system guest's root image: a Debian 12 system with systemd as PID 1, the system
# bus, polkitd, udev, man-db and Debian's kernel, made with debootstrap from the registry this
# machine already uses (the first URIs: of /etc/apt/sources.list.d/debian.sources, or the first
# deb line of /etc/apt/sources.list), plus every package the drivetherm package depends on, so
# that `apt install ./drivetherm_*.deb` works in the guest without a network. The result is kept
# outside any build tree:
#
#   ${XDG_CACHE_HOME:-$HOME/.cache}/drivetherm/system-<hash>/root.qcow2   the root file system
#                                                          .../vmlinuz, initrd.img   its kernel
#
# where <hash> covers the package list (tests/guest/system/packages), the names in the .deb's
# Depends: line and this script, so a change to any of them builds again; entries of other
# hashes are removed. The image is never written by a guest: each run boots a qcow2 overlay.
#
#   build-system-image.sh --deb DRIVETHERM_DEB            build when the cache lacks it
#   build-system-image.sh --deb DRIVETHERM_DEB --cached   only look it up (exit 77 when absent)
#
# Prints the entry's directory on the last line. Exit status: 0 built or found; 77 it cannot be
# built here (not root, no debootstrap, no registry), with the reason in one line; 1 the build
# failed (the end of its log is printed).
set -eu

SKIP=77
here=$(cd "$(dirname "$0")" && pwd)
deb="" cached_only=0
while [ $# -gt 0 ]; do
    case $1 in
        --deb) deb=$2; shift 2 ;;
        --cached) cached_only=1; shift ;;
        *) echo "usage: build-system-image.sh --deb DRIVETHERM_DEB [--cached]" >&2; exit 2 ;;
    esac
done
[ -f "$deb" ] || { echo "build-system-image.sh: --deb names no file (${deb:-none})" >&2; exit 2; }

skip() {
    echo "system image: SKIPPED: $*"
    exit $SKIP
}

# The package's own dependencies, by name: "libc6 (>= 2.34), dbus" gives libc6 and dbus; of
# alternatives the first.
deb_depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*//; s/[[:space:]]//g' | grep -v '^$' | sort -u)
packages=$( (grep -v '^#' "$here/packages" | grep -v '^[[:space:]]*$'; echo "$deb_depends") | sort -u)
hash=$( (echo "$packages"; cat "$0") | sha256sum | cut -c1-12)
base="${XDG_CACHE_HOME:-$HOME/.cache}/drivetherm"
entry="$base/system-$hash"
if [ -f "$entry/root.qcow2" ] && [ -f "$entry/vmlinuz" ] && [ -f "$entry/initrd.img" ]; then
    echo "$entry"
    exit 0
fi
[ $cached_only = 0 ] || skip "the system image is not built yet (tests/guest/system/build-system-image.sh builds it)"

[ "$(id -u)" = 0 ] || skip "debootstrap and chroot need root"
for tool in debootstrap:debootstrap mkfs.ext4:e2fsprogs qemu-img:qemu-utils chroot:coreutils flock:util-linux; do
    command -v "${tool%%:*}" > /dev/null 2>&1 || skip "${tool%%:*} is not installed (Debian package ${tool#*:}; scripts/install-deps installs it)"
done
mirror=""
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
fi
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
    mirror=$(awk '$1 == "deb" && $2 !~ /^\[/ {print $2; exit}' /etc/apt/sources.list)
fi
[ -n "$mirror" ] || skip "no Debian registry in /etc/apt/sources.list.d/debian.sources or /etc/apt/sources.list"

mkdir -p "$base"
exec 9> "$base/.system-image-lock"
flock 9
if [ -f "$entry/root.qcow2" ]; then
    echo "$entry"
    exit 0
fi
rm -rf "$base"/system-build.*
scratch=$(mktemp -d "$base/system-build.XXXXXX")
root="$scratch/root"
log="$scratch/build.log"
mounted=""
cleanup() {
    [ -z "$mounted" ] || umount "$root/proc" 2> /dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
started=$(date +%s)
failed() { # WHAT
    echo "system image: $1 failed; the end of its log:"
    tail -30 "$log"
    exit 1
}

# --- The system: the minimal base by debootstrap, the rest by apt in it ---------------------------
# apt orders the packages' configuration by their dependencies, which debootstrap's --include
# does not (polkitd failed to configure that way).
debootstrap --variant=minbase bookworm "$root" "$mirror" > "$log" 2>&1 ||
    { cp "$root/debootstrap/debootstrap.log" "$base/system-build-debootstrap.log" 2> /dev/null || true; failed "debootstrap from $mirror"; }

# Drivers no guest has, and documents nobody reads there: kept out of the image (the manual pages
# stay: the guest checks them).
cat > "$root/etc/dpkg/dpkg.cfg.d/drivetherm-guest" << 'CFG'
path-exclude=/usr/share/doc/*
path-exclude=/usr/share/locale/*
path-exclude=/lib/modules/*/kernel/drivers/gpu/*
path-exclude=/lib/modules/*/kernel/drivers/net/wireless/*
path-exclude=/lib/modules/*/kernel/drivers/net/ethernet/*
path-exclude=/lib/modules/*/kernel/drivers/media/*
path-exclude=/lib/modules/*/kernel/drivers/infiniband/*
path-exclude=/lib/modules/*/kernel/drivers/staging/*
path-exclude=/lib/modules/*/kernel/drivers/iio/*
path-exclude=/lib/modules/*/kernel/drivers/bluetooth/*
path-exclude=/lib/modules/*/kernel/sound/*
path-exclude=/lib/modules/*/kernel/net/wireless/*
path-exclude=/lib/modules/*/kernel/net/mac80211/*
path-exclude=/usr/lib/firmware/*
CFG
# The kernel's initramfs gets the few modules the guest's root disk needs, not most of them.
mkdir -p "$root/etc/initramfs-tools/conf.d"
echo MODULES=list > "$root/etc/initramfs-tools/conf.d/drivetherm-guest"
mkdir -p "$root/usr/share/initramfs-tools/modules.d"
printf '%s\n' ahci sd_mod ext4 > "$root/usr/share/initramfs-tools/modules.d/drivetherm-guest"
mount -t proc proc "$root/proc" && mounted=1
chroot "$root" apt-get update >> "$log" 2>&1 || failed "apt-get update in the image"
# shellcheck disable=SC2086
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $packages >> "$log" 2>&1 ||
    { cp "$log" "$base/system-build-failed.log"; failed "apt-get install in the image"; }
umount "$root/proc" && mounted=""

# --- The guest's own settings -----------------------------------------------------------------------
echo drivetherm-guest > "$root/etc/hostname"
# No fsck at boot: each run's overlay starts from this clean image.
echo '/dev/sda / ext4 rw,errors=remount-ro 0 0' > "$root/etc/fstab"
# The checks come on the second disk (a tar archive) and report on the second serial port;
# check.sh, beside this script, is the one that runs.
cat > "$root/usr/local/sbin/drivetherm-guest-check" << 'START'
#!/bin/sh
# Unpacks the checks from the second disk and runs them, their output on the second serial port.
# Whatever goes wrong here is said there too, for the host to print.
exec > /dev/ttyS1 2>&1
disk=/dev/disk/by-id/virtio-dtpayload
# udev may still be making the disk's link when multi-user.target is reached.
waited=0
while [ ! -e $disk ] && [ $waited -lt 120 ]; do
    sleep 0.5
    waited=$((waited + 1))
done
mkdir -p /run/drivetherm-guest
tar -xf $disk -C /run/drivetherm-guest || { echo "DTGUEST no checks: cannot unpack $disk"; exit 1; }
exec sh /run/drivetherm-guest/check.sh
START
chmod 755 "$root/usr/local/sbin/drivetherm-guest-check"
cat > "$root/etc/systemd/system/drivetherm-guest-check.service" << 'UNIT'
[Unit]
Description=The system guest's checks (drivetherm)
After=multi-user.target

[Service]
Type=simple
ExecStart=/usr/local/sbin/drivetherm-guest-check

[Install]
WantedBy=multi-user.target
UNIT
ln -s /etc/systemd/system/drivetherm-guest-check.service \
    "$root/etc/systemd/system/multi-user.target.wants/drivetherm-guest-check.service"
# Nothing waits for a network the guest does not have.
chroot "$root" systemctl set-default multi-user.target >> "$log" 2>&1
chroot "$root" apt-get clean >> "$log" 2>&1
rm -rf "$root"/var/lib/apt/lists/* "$root"/var/cache/apt/*.bin

# --- The image ---------------------------------------------------------------------------------
cp -L "$root/vmlinuz" "$scratch/vmlinuz" 2> /dev/null || cp "$root"/boot/vmlinuz-* "$scratch/vmlinuz"
cp -L "$root/initrd.img" "$scratch/initrd.img" 2> /dev/null || cp "$root"/boot/initrd.img-* "$scratch/initrd.img"
used_mb=$(du -sm "$root" | cut -f1)
# Room for the package, the journal and two boots' worth of state.
size_mb=$((used_mb + used_mb / 4 + 400))
mkfs.ext4 -q -F -L drivetherm-guest -d "$root" "$scratch/root.raw" "${size_mb}M" >> "$log" 2>&1 || failed "mkfs.ext4 -d"
qemu-img convert -f raw -O qcow2 "$scratch/root.raw" "$scratch/root.qcow2" >> "$log" 2>&1 || failed "qemu-img convert"
rm -f "$scratch/root.raw"

rm -rf "$entry.new"
mkdir -p "$entry.new"
mv "$scratch/root.qcow2" "$scratch/vmlinuz" "$scratch/initrd.img" "$entry.new/"
echo "$packages" > "$entry.new/packages"
echo "built in $(($(date +%s) - started)) s on $(nproc) cores, ${used_mb} MB of files in a ${size_mb} MB file system" > "$entry.new/build-time"
for old in "$base"/system-[0-9a-f]*; do
    [ -d "$old" ] && [ "$old" != "$entry" ] && [ "$old" != "$entry.new" ] && rm -rf "$old"
done
mv "$entry.new" "$entry"
echo "system image: $(cat "$entry/build-time")" >&2
echo "$entry"
