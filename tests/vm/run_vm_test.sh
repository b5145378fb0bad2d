#!/usr/bin/env bash
# The real kernel HID path: boots Debian's kernel under qemu (TCG, never KVM)
# with a small initramfs of busybox, the kernel's hid, hid-generic and uhid
# modules, zr417ctl, zr417-sim and the test's helpers with the libraries they
# link, and runs vm_checks.sh in it. Every check there prints one line on the
# serial console; this script shows those lines and passes when all are ok.
#   run_vm_test.sh RUNTIME_DIR TESTS_DIR SOURCE_DIR
# ZR417_VM_CONSOLE=FILE keeps the whole console output there.
# Exit status 77 (skipped) only when an installed qemu cannot run here at all.
set -uo pipefail

runtime=${1:?usage: run_vm_test.sh RUNTIME_DIR TESTS_DIR SOURCE_DIR}
tests=${2:?}
source=${3:?}
vm_timeout=150  # seconds for the whole VM run; it takes well under a minute

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    exit 1
}

qemu=$(command -v qemu-system-x86_64) ||
    fail "qemu-system-x86_64 is not installed (scripts/setup.sh --tests installs qemu-system-x86)"
if ! echo quit | timeout 60 "$qemu" -accel tcg -machine none -nodefaults -display none -monitor stdio \
    >/dev/null 2>&1; then
    skip "qemu-system-x86_64 cannot start here"
fi

busybox=/bin/busybox
[ -x "$busybox" ] || fail "no $busybox (scripts/setup.sh --tests installs busybox-static)"

# The newest kernel that has uhid among its modules.
module() {
    local m
    m=$(find "/lib/modules/$1/kernel/drivers/hid" -maxdepth 1 -name "$2.ko*" 2>/dev/null | head -n 1)
    [ -n "$m" ] && echo "$m"
}
version=""
for v in $(ls /lib/modules 2>/dev/null | sort -V -r); do
    if [ -e "/boot/vmlinuz-$v" ] && module "$v" uhid >/dev/null; then
        version=$v
        break
    fi
done
[ -n "$version" ] || fail "no kernel with its uhid module under /boot and /lib/modules (scripts/setup.sh --tests installs linux-image-amd64)"
kernel=/boot/vmlinuz-$version
[ -r "$kernel" ] || fail "cannot read $kernel (make it readable or run the test as root)"

for f in "$runtime/zr417ctl" "$runtime/zr417-sim" "$tests/zr417-vm-tool" "$tests/hidraw_vm_check"; do
    [ -x "$f" ] || fail "$f is not built"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"/{bin,lib/hid,proc,sys,dev,tmp,fw}

# Programs without their debugging sections (the initramfs stays small), and
# every shared library they and busybox load.
put() {
    local dest=$root/bin/$(basename "$1")
    strip -o "$dest" "$1" 2>/dev/null || cp "$1" "$dest"
    for lib in $(ldd "$1" 2>/dev/null | grep -o '/[^ ]*'); do
        [ -e "$root$lib" ] && continue
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
}
put "$busybox"
put "$runtime/zr417ctl"
put "$runtime/zr417-sim"
put "$tests/zr417-vm-tool"
put "$tests/hidraw_vm_check"

for m in hid hid-generic uhid; do
    file=$(module "$version" "$m") || fail "no $m module for kernel $version"
    case "$file" in
        *.ko) cp "$file" "$root/lib/hid/$m.ko" ;;
        *.ko.xz) "$busybox" xzcat "$file" >"$root/lib/hid/$m.ko" ;;
        *.ko.gz) "$busybox" zcat "$file" >"$root/lib/hid/$m.ko" ;;
        *.ko.zst) zstd -dc "$file" >"$root/lib/hid/$m.ko" || fail "cannot decompress $file" ;;
        *) fail "unknown module file $file" ;;
    esac
done
cp "$source/updater/runtime/sample_firmware.hex" "$root/fw/" || fail "no sample firmware"
cp "$source/tests/vm/vm_checks.sh" "$root/vm_checks.sh"
cat >"$root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
sh /vm_checks.sh
echo "VM EXIT $?"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | "$busybox" cpio -o -H newc -R 0:0 2>/dev/null | gzip -1) >"$work/initrd.gz" ||
    fail "cannot pack the initramfs"

echo "booting $kernel under qemu (TCG) with a $(($(stat -c %s "$work/initrd.gz") / 1024)) KiB initramfs"
log=$work/console.log
start=$(date +%s%N)
timeout "$vm_timeout" "$qemu" -accel tcg -nographic -no-reboot -m 512 -smp 2 -nic none \
    -kernel "$kernel" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 loglevel=1 panic=-1 rdinit=/init" </dev/null >"$log" 2>&1
qemu_rc=$?
# ZR417_VM_CONSOLE=FILE keeps the whole console output.
[ -n "${ZR417_VM_CONSOLE:-}" ] && tr -d '\r' <"$log" >"$ZR417_VM_CONSOLE"
elapsed=$((($(date +%s%N) - start) / 1000000))
seconds=$(printf '%d.%01d' $((elapsed / 1000)) $((elapsed % 1000 / 100)))

tr -d '\r' <"$log" | grep -a -E '^(CHECK|INFO|VM RESULT)| \| ' || true
if ! tr -d '\r' <"$log" | grep -q '^VM RESULT'; then
    echo "---- last console lines ----"
    tr -d '\r' <"$log" | tail -n 40
    [ $qemu_rc -eq 124 ] && fail "the VM did not finish within ${vm_timeout} s"
    fail "the VM stopped before its checks ended (qemu exit $qemu_rc after $seconds s)"
fi
result=$(tr -d '\r' <"$log" | grep '^VM RESULT')
echo "VM run: $seconds s (kernel $version)"
echo "$result" | grep -q ', 0 failed$' || fail "$result"
echo "PASSED: ${result#VM RESULT: } in $seconds s"
