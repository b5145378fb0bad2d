#!/usr/bin/env bash
# Runs hidraw_vm_check in a virtual machine with a real kernel (uhid, hidraw):
# needs qemu-system-x86, linux-image-amd64 and busybox-static. Not part of
# ctest (it boots a kernel); run it after changing platform/hidraw_*.
#   tests/device/vm/run.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: run.sh BUILD_DIR}")
cmake --build "$build" --target hidraw_vm_check >/dev/null
kernel=$(ls /boot/vmlinuz-* | sort -V | tail -1)
version=${kernel#/boot/vmlinuz-}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,proc,sys,dev,check,lib/hid}
cp /bin/busybox "$root/bin/busybox"
cp "$build/tests/hidraw_vm_check" "$root/check/"
for lib in $(ldd "$build/tests/hidraw_vm_check" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$lib")" && cp -L "$lib" "$root$lib"
done
for m in hid hid-generic uhid; do
  cp "/lib/modules/$version/kernel/drivers/hid/$m.ko" "$root/lib/hid/"
done
cat > "$root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
insmod /lib/hid/hid.ko; insmod /lib/hid/hid-generic.ko; insmod /lib/hid/uhid.ko
/check/hidraw_vm_check
echo "vm-check-exit $?"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc 2>/dev/null | gzip -1) > "$root.cpio.gz"
timeout 300 qemu-system-x86_64 -accel tcg -m 1024 -kernel "$kernel" -initrd "$root.cpio.gz" \
  -append "console=ttyS0 panic=-1 quiet" -nographic -no-reboot | tee "$root.log" | grep -v '^\[' || true
rm -f "$root.cpio.gz"
grep -q "vm-check-exit 0" "$root.log"
