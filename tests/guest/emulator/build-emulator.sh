#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the guest tier's emulator: Debian's QEMU, from the source package of the installed
# qemu-system-x86, with the SMC of keyed-smc.c added, for the one target the guests need
# (x86_64 under TCG) and nothing else. The result is kept outside any build tree, under
#
#   ${XDG_CACHE_HOME:-$HOME/.cache}/drivetherm/qemu-<source version>-<hash>/qemu-system-x86_64
#
# where <hash> covers keyed-smc.c and this script (its configure line), so a change to either
# builds again and an unchanged pair never does. Entries of other versions are removed.
#
#   build-emulator.sh            build when the cache lacks it; print the emulator's path
#   build-emulator.sh --cached   only print the cached emulator's path (exit 77 when absent)
#
# Exit status: 0 with the path on the last line of standard output; 77 when it cannot be built
# here (no qemu-system-x86, no build tools, no source package), with the reason in one line;
# 1 when the build itself failed (the end of its log is printed).
set -eu

SKIP=77
here=$(cd "$(dirname "$0")" && pwd)
device="$here/keyed-smc.c"
cached_only=0
case ${1:-} in
    --cached) cached_only=1 ;;
    "") ;;
    *) echo "usage: build-emulator.sh [--cached]" >&2; exit 2 ;;
esac

skip() {
    echo "emulator: SKIPPED: $*"
    exit $SKIP
}

# The firmware and option ROMs come from the installed package, so the source must be its own.
version=$(dpkg-query -W -f='${source:Version}' qemu-system-x86 2> /dev/null || true)
[ -n "$version" ] || skip "qemu-system-x86 is not installed (scripts/install-deps installs it)"
hash=$(cat "$device" "$0" | sha256sum | cut -c1-12)
base="${XDG_CACHE_HOME:-$HOME/.cache}/drivetherm"
entry="$base/qemu-$(echo "$version" | tr ':~' '__')-$hash"
emulator="$entry/qemu-system-x86_64"

if [ -x "$emulator" ]; then
    echo "$emulator"
    exit 0
fi
[ $cached_only = 0 ] || skip "the emulator with the SMC is not built yet (tests/guest/emulator/build-emulator.sh builds it)"

for tool in apt-get:apt dpkg-source:dpkg-dev meson:meson ninja:ninja-build pkg-config:pkg-config cc:gcc python3:python3 flock:util-linux; do
    command -v "${tool%%:*}" > /dev/null 2>&1 || skip "${tool%%:*} is not installed (Debian package ${tool#*:}; scripts/install-deps installs it)"
done
for library in glib-2.0:libglib2.0-dev pixman-1:libpixman-1-dev zlib:zlib1g-dev; do
    pkg-config --exists "${library%%:*}" || skip "${library%%:*} is not installed (Debian package ${library#*:})"
done
[ -f /usr/include/libfdt.h ] || skip "libfdt is not installed (Debian package libfdt-dev)"

mkdir -p "$base"
exec 9> "$base/.build-lock"
# Another run may be building the same emulator: wait for it, then take its result.
flock 9
if [ -x "$emulator" ]; then
    echo "$emulator"
    exit 0
fi

# The build tree (about 600 MB) lives beside the cache, out of reach of anything that sweeps /tmp;
# one left by a build that was killed goes now, since no other build can be running.
rm -rf "$base"/build.*
scratch=$(mktemp -d "$base/build.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP
started=$(date +%s)

# --- The source package, through the machine's own registry -----------------------------------
# A private list of deb-src entries with the same addresses as the machine's deb entries; the
# machine's own apt configuration and lists are not touched.
mkdir -p "$scratch/apt/sources.list.d" "$scratch/apt/lists/partial" "$scratch/source"
for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] && sed 's/^Types:.*$/Types: deb-src/' "$sources" > "$scratch/apt/sources.list.d/$(basename "$sources")"
done
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] && sed -n 's/^deb \(.*\)$/deb-src \1/p' "$list" >> "$scratch/apt/sources.list.d/from-lists.list"
done
set -- -o Dir::Etc::SourceParts="$scratch/apt/sources.list.d" -o Dir::Etc::SourceList=/dev/null \
    -o Dir::State::Lists="$scratch/apt/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= \
    -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)"
apt-get "$@" update > "$scratch/apt.log" 2>&1 || skip "apt-get update of the source lists failed: $(tail -1 "$scratch/apt.log")"
cd "$scratch/source"
if ! apt-get "$@" source --download-only "qemu=$version" >> "$scratch/apt.log" 2>&1; then
    # The registry no longer has the installed version's source: take its newest.
    apt-get "$@" source --download-only qemu >> "$scratch/apt.log" 2>&1 || skip "cannot fetch QEMU's source package: $(tail -1 "$scratch/apt.log")"
fi
dpkg-source -x ./qemu_*.dsc qemu > "$scratch/unpack.log" 2>&1 || { tail -5 "$scratch/unpack.log"; exit 1; }
built_version=$(sed -n 's/^Version: //p' ./qemu_*.dsc | head -1)

# --- Our SMC in the tree -------------------------------------------------------------------------
cd qemu
cp "$device" hw/misc/keyed-smc.c
echo "softmmu_ss.add(when: 'CONFIG_APPLESMC', if_true: files('keyed-smc.c'))" >> hw/misc/meson.build
# Debian's tarball has no firmware blobs; nothing of them is needed here.
sed -i 's/unpack_edk2_blobs = bzip2.found()/unpack_edk2_blobs = false/' meson.build

# --- One target, software emulation, no optional feature ----------------------------------------
mkdir build
cd build
log="$scratch/build.log"
if ! ../configure --target-list=x86_64-softmmu --without-default-features --disable-docs \
    --disable-werror --enable-tcg --enable-fdt=system --disable-install-blobs > "$log" 2>&1 ||
    ! ninja -j"$(nproc)" qemu-system-x86_64 >> "$log" 2>&1; then
    echo "emulator: the build failed; the end of its log:"
    tail -30 "$log"
    exit 1
fi
strip qemu-system-x86_64 2> /dev/null || true
./qemu-system-x86_64 -device help 2> /dev/null | grep -q '"isa-keyed-smc"' || { echo "emulator: the built QEMU lacks isa-keyed-smc"; exit 1; }

rm -rf "$entry.new"
mkdir -p "$entry.new"
cp qemu-system-x86_64 "$entry.new/"
echo "$built_version" > "$entry.new/source-version"
echo "built in $(($(date +%s) - started)) s on $(nproc) cores" > "$entry.new/build-time"
for old in "$base"/qemu-*; do
    [ -d "$old" ] && [ "$old" != "$entry" ] && [ "$old" != "$entry.new" ] && rm -rf "$old"
done
mv "$entry.new" "$entry"
echo "emulator: QEMU $built_version with isa-keyed-smc $(cat "$entry/build-time")" >&2
echo "$emulator"
