#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Manual check of the SG_IO SMART path against a real kernel: boots Debian's kernel in QEMU
# (software emulation) with an emulated AHCI disk and runs one temperature read there with
# debug logging. Not part of ctest: it downloads the kernel package and takes about 10 s.
#
# Expected: CHECK POWER MODE answers FFh (active) in the sense data, SMART ENABLE OPERATIONS and
# SMART READ DATA are done, and the temperature is 0: the emulated disk reports attribute 190
# but no attribute 194, and 190 must not be taken for it.
#
# Usage: qemu-sgio-check.sh BUILD_DIR   (with disk_read_once built: ninja -C BUILD_DIR disk_read_once)
set -eu
build=${1:?usage: qemu-sgio-check.sh BUILD_DIR}
probe="$build/bench/disk/disk_read_once"
[ -x "$probe" ] || { echo "qemu-sgio-check.sh: $probe not built" >&2; exit 1; }
for tool in qemu-system-x86_64 busybox apt-get dpkg-deb; do
    command -v "$tool" >/dev/null || { echo "qemu-sgio-check.sh: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
image=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
apt-get download "$image" >/dev/null 2>&1
dpkg-deb -x ./*.deb kernel
modules=$(echo kernel/lib/modules/*)

mkdir -p root/bin root/lib/modules root/dev root/proc root/sys root/run/udev/data root/tmp
order="scsi_common scsi_mod libata libahci ahci crct10dif_common crct10dif_generic crc-t10dif crc64 crc64-rocksoft t10-pi sd_mod"
for module in $order; do
    file=$(find "$modules" -name "$module.ko*" | head -1)
    [ -n "$file" ] && cp "$file" root/lib/modules/
done
cp "$(command -v busybox)" root/bin/busybox
cp "$probe" root/bin/
for library in $(ldd "$probe" | grep -o '/[^ ]*'); do
    mkdir -p "root$(dirname "$library")"
    cp -L "$library" "root$library"
done
cat > root/init <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in $order; do
  f=\$(ls /lib/modules/\$m.ko* 2>/dev/null) || continue
  case \$f in *.xz) xz -dc \$f > /tmp/m.ko; f=/tmp/m.ko;; esac
  insmod \$f
done
for i in 1 2 3 4 5 6 7 8 9 10; do [ -e /dev/sda ] && break; sleep 1; done
# What udevd would have recorded for the disk; the guest runs no udevd.
printf 'E:ID_ATA=1\nE:ID_ATA_FEATURE_SET_SMART=1\nE:ID_MODEL_ENC=DRIVETHERM\\\\x20TEST\\\\x20DISK\n' > /run/udev/data/b8:0
echo "temperature: \$(/bin/disk_read_once /sys disk0 -v 2>&1 | tee /dev/console | tail -1)"
poweroff -f
INIT
chmod +x root/init
(cd root && find . | busybox cpio -o -H newc 2>/dev/null | gzip > ../initrd.gz)
truncate -s 64M disk.img
timeout 300 qemu-system-x86_64 -accel tcg -m 512 -nographic -no-reboot \
    -kernel kernel/boot/vmlinuz-* -initrd initrd.gz -append "console=ttyS0 quiet panic=-1" \
    -device ich9-ahci,id=ahci -drive file=disk.img,if=none,id=d0,format=raw \
    -device ide-hd,drive=d0,bus=ahci.0,model=DRIVETHERM-TEST-DISK,serial=DT0001,rotation_rate=7200 \
    > console.log 2>&1 || true
grep -a 'sgio:\|temperature:' console.log
grep -aq 'cdb 85 06 20 .* e5 00' console.log && grep -aq 'sense \[72 01 00 1d .* 00 ff .*\]: done' console.log &&
    grep -aq 'cdb 85 08 0e 00 d0 00 01 00 00 00 4f 00 c2 00 b0 00' console.log &&
    [ "$(grep -ac 'sense \[.*\]: done' console.log)" -eq 3 ] &&
    grep -aq '^temperature: 0' console.log && { echo "qemu-sgio-check: as expected"; exit 0; }
echo "qemu-sgio-check: unexpected answer, see above" >&2
exit 1
