#!/bin/sh
# The checks of the virtual-machine test, run by the VM's init on a real
# kernel without a udev daemon: the hidraw backend against a uhid keyboard,
# then zr417-sim --uhid making kernel HID devices that the unmodified zr417ctl
# finds and drives through hidraw. Each check prints one line,
# "CHECK ok   ..." or "CHECK FAIL ...", followed by the output that explains
# a failure; "INFO ..." lines carry timings. The last line is
# "VM RESULT: N checks, F failed".
PATH=/bin
export PATH
cd /tmp || exit 1

checks=0
failures=0
ok() {
    checks=$((checks + 1))
    echo "CHECK ok   $*"
}
bad() {
    checks=$((checks + 1))
    failures=$((failures + 1))
    echo "CHECK FAIL $*"
}
show() { sed 's/^/           | /' "$1"; }
# Retries a command every 0.1 s for up to $1 seconds.
wait_for() {
    n=$(($1 * 10))
    shift
    while [ $n -gt 0 ]; do
        "$@" >/dev/null 2>&1 && return 0
        usleep 100000
        n=$((n - 1))
    done
    return 1
}
# Centiseconds since boot.
now() {
    read -r up _ </proc/uptime
    echo "${up%.*}${up#*.}"
}
since() {
    t=$(($(now) - $1))
    printf '%d.%02d s' $((t / 100)) $((t % 100))
}
# zr417ctl, bounded in time, output in /tmp/out, exit code in $rc.
ctl() {
    timeout 60 zr417ctl "$@" >/tmp/out 2>&1
    rc=$?
}
nodes() { ls /sys/class/hidraw 2>/dev/null | wc -l; }
has() { grep -q -- "$2" "$1"; }
count() { grep -c -- "$2" "$1"; }

# --- the kernel ------------------------------------------------------------
for m in hid hid-generic uhid; do
    insmod "/lib/hid/$m.ko" || echo "insmod $m failed"
done
if [ -c /dev/uhid ]; then
    ok "kernel $(uname -r): hid, hid-generic and uhid loaded, /dev/uhid present"
else
    bad "no /dev/uhid after loading the modules"
    echo "VM RESULT: $checks checks, $failures failed"
    exit 1
fi

# --- the hidraw backend against a uhid keyboard answered in-process ---------
t=$(now)
timeout 60 hidraw_vm_check >/tmp/backend 2>&1
rc=$?
while IFS= read -r line; do
    case "$line" in
        "ok   "*) ok "backend: ${line#ok   }" ;;
        "FAIL "*) bad "backend: ${line#FAIL }" ;;
        "     "*DownloadAll*) echo "INFO backend: ${line#     }" ;;
    esac
done </tmp/backend
[ $rc -eq 0 ] || { bad "backend check ended with exit $rc"; show /tmp/backend; }
echo "INFO backend checks took $(since $t)"
wait_for 5 test "$(nodes)" -eq 0

# --- devices discovery must pass over ---------------------------------------
zr417-vm-tool bad-devices >/tmp/bad 2>&1 &
badpid=$!
wait_for 10 test "$(nodes)" -ge 2
usleep 500000  # the cut descriptor's device would have its node by now
if [ "$(nodes)" -eq 2 ] && [ "$(count /tmp/bad created)" -eq 3 ]; then
    ok "bad devices: an unknown item and reports outside any collection got hidraw nodes ($(ls /sys/class/hidraw | tr '\n' ' ' | sed 's/ $//')), the cut descriptor none"
else
    bad "bad devices: $(nodes) hidraw node(s), expected 2"
    show /tmp/bad
fi

# --- zr417-sim in uhid mode ------------------------------------------------
zr417-sim --uhid --state-dir /tmp/state >/tmp/sim.log 2>&1 &
simpid=$!
if wait_for 10 zr417ctl sim list; then
    ok "zr417-sim --uhid serves its control socket"
else
    bad "zr417-sim --uhid did not start"
    show /tmp/sim.log
fi

t=$(now)
ctl info
if [ $rc -eq 3 ] && has /tmp/out "no ZR417 keyboard found"; then
    ok "with only the bad devices present, zr417ctl info finds no keyboard ($(since $t))"
else
    bad "zr417ctl info with only the bad devices: exit $rc"
    show /tmp/out
fi

timeout 300 zr417ctl listen >/tmp/listen.log 2>&1 &
listenpid=$!
wait_for 10 has /tmp/listen.log "listening"
if has /tmp/listen.log "plug events from kernel"; then
    ok "zr417ctl listen takes plug events from the kernel's uevents (no udev daemon runs here)"
else
    bad "zr417ctl listen has no kernel plug monitor"
    show /tmp/listen.log
fi

# --- each model: info, save, read, a host-action key, unplug -----------------
seed=1
for model in QV310 QV420 OEM; do
    ctl sim plug $model
    id=$(sed -n 's/^plugged device \([0-9]*\) .*/\1/p' /tmp/out)
    if [ -n "$id" ] && wait_for 10 has /tmp/listen.log "keyboard $model connected"; then
        node=$(sed -n "s|^keyboard $model connected at ||p" /tmp/listen.log | tail -n 1)
        ok "$model: plugging reached the monitor ($(grep -c '^arrival' /tmp/listen.log) arrival(s) so far) and the listener opened $node"
    else
        bad "$model: plug not seen by zr417ctl listen"
        show /tmp/out
        show /tmp/listen.log
        continue
    fi

    ctl info
    if [ $rc -eq 0 ] && has /tmp/out "Model:            $model" && has /tmp/out "MI_01&COL03"; then
        ok "$model: zr417ctl info: $(sed -n 's/^Path: *//p' /tmp/out), firmware $(sed -n 's/^Firmware version: *//p' /tmp/out)"
    else
        bad "$model: zr417ctl info (exit $rc)"
        show /tmp/out
    fi

    zr417-vm-tool make-image /tmp/$model.bin $seed
    seed=$((seed + 1))
    t=$(now)
    ctl --trace save /tmp/$model.bin
    if [ $rc -eq 0 ] && [ "$(count /tmp/out 'Data OK(Macro)')" -eq 12 ] &&
        [ "$(count /tmp/out 'Data OK(SetUserPicture)')" -eq 5 ] && [ "$(count /tmp/out 'Data OK(KeyMatrix)')" -eq 1 ]; then
        ok "$model: zr417ctl save verified every write: 12 macro pages, 5 picture pages, the key matrix ($(since $t))"
    else
        bad "$model: zr417ctl save (exit $rc)"
        show /tmp/out
    fi

    ctl read /tmp/$model-read.bin
    if [ $rc -eq 0 ] && zr417-vm-tool compare /tmp/$model.bin /tmp/$model-read.bin >/tmp/cmp; then
        ok "$model: zr417ctl read gave every region back equal: $(cut -d: -f1 /tmp/cmp | tr '\n' ',' | sed 's/,$//; s/,/, /g')"
    else
        bad "$model: read back (exit $rc)"
        show /tmp/out
        show /tmp/cmp
    fi

    before=$(count /tmp/listen.log "host-action key: code 0x04")
    ctl sim press "$id" A
    if [ $rc -eq 0 ] && wait_for 5 test "$(count /tmp/listen.log 'host-action key: code 0x04')" -gt "$before"; then
        ok "$model: the A key's host action came through input report 7 to the listener (code 0x04)"
    else
        bad "$model: host-action key not seen (press exit $rc)"
        show /tmp/out
        show /tmp/listen.log
    fi

    before=$(count /tmp/listen.log "^removal")
    ctl sim unplug "$id"
    if [ $rc -eq 0 ] && wait_for 10 test "$(count /tmp/listen.log '^removal')" -gt "$before"; then
        ok "$model: unplugging reached the monitor ($(grep '^removal' /tmp/listen.log | tail -n 1))"
    else
        bad "$model: unplug not seen by zr417ctl listen"
        show /tmp/listen.log
    fi
    wait_for 5 test "$(nodes)" -eq 2
done

# --- a keyboard destroyed in the middle of a report --------------------------
# Two keyboards; zr417ctl talks to the first it finds, which is the one cut.
ctl sim plug QV310
qv310=$(sed -n 's/^plugged device \([0-9]*\) .*/\1/p' /tmp/out)
ctl sim plug QV420
qv420=$(sed -n 's/^plugged device \([0-9]*\) .*/\1/p' /tmp/out)
wait_for 10 test "$(nodes)" -eq 4
ctl info
if has /tmp/out "Model:            QV310"; then
    cut=$qv310 cutmodel=QV310 other=$qv420 othermodel=QV420
else
    cut=$qv420 cutmodel=QV420 other=$qv310 othermodel=QV310
fi
ctl sim unplug "$cut" 40
t=$(now)
ctl save /tmp/$cutmodel.bin
took=$(since $t)
if [ $rc -eq 1 ] && has /tmp/out "did not confirm"; then
    ok "$cutmodel destroyed while its 41st report was in flight: that report failed, save ended with exit 1 after $took"
else
    bad "save to a keyboard destroyed mid-report: exit $rc after $took"
    show /tmp/out
fi
ctl sim list
if [ $rc -eq 0 ] && grep -q "^$cut .*keyboard  *unplugged" /tmp/out && grep -q "^$other .*keyboard  *plugged" /tmp/out; then
    ok "zr417-sim carries on: the $cutmodel is unplugged, the $othermodel still plugged"
else
    bad "zr417-sim after the mid-report unplug (exit $rc)"
    show /tmp/out
fi
ctl info
if [ $rc -eq 0 ] && has /tmp/out "Model:            $othermodel"; then
    ok "nothing else failed: zr417ctl info finds the $othermodel and it answers"
else
    bad "zr417ctl info after the mid-report unplug (exit $rc)"
    show /tmp/out
fi
ctl sim unplug "$other"
wait_for 5 test "$(nodes)" -eq 2

# --- three keyboards into their bootloaders, burned at once -----------------
ids=""
for model in QV310 QV420 OEM; do
    ctl sim plug $model
    ids="$ids $(sed -n 's/^plugged device \([0-9]*\) .*/\1/p' /tmp/out)"
done
set -- $ids
ctl sim version "$1" 0.9
wait_for 10 test "$(nodes)" -eq 5
t=$(now)
ctl flash /fw/sample_firmware.hex
took=$(since $t)
cp /tmp/out /tmp/flash
boot=$(grep -l "HID_ID=0003:00000603:00001020" /sys/class/hidraw/*/device/uevent 2>/dev/null | wc -l)
kb=$(grep -l -e "HID_ID=0003:00001C4F:00005DC4" -e "HID_ID=0003:0000260D:00000015" -e "HID_ID=0003:00001B80:0000B51D" \
    /sys/class/hidraw/*/device/uevent 2>/dev/null | wc -l)
if [ "$boot" -eq 3 ] && [ "$kb" -eq 2 ]; then
    ok "the three keyboards sent the bootloader-entry report over hidraw were each replaced by a bootloader (3 nodes of 0603:1020; the 2 keyboard nodes left are the bad devices)"
else
    bad "after the bootloader-entry report: $boot bootloader node(s), $kb keyboard node(s)"
fi
if [ $rc -eq 0 ] && has /tmp/flash "3 burned, 0 failed"; then
    ok "zr417ctl flash burned the three uhid bootloaders at once: 3 burned, 0 failed ($took)"
else
    bad "zr417ctl flash (exit $rc, $took)"
    show /tmp/flash
fi
if [ "$(count /tmp/flash 'Arrival, TimesLeft:8$')" -eq 3 ]; then
    ok "each bootloader answered the cycle probe sent on its data collection's hidraw handle: TimesLeft:8"
else
    bad "the cycle probe through hidraw: $(count /tmp/flash 'TimesLeft:8') of 3 bootloaders answered"
    show /tmp/flash
fi
ctl sim list
if [ "$(grep -c 'bootloader plugged.*burn finished' /tmp/out)" -eq 3 ]; then
    ok "zr417-sim: each bootloader's burn finished"
else
    bad "zr417-sim does not show three finished burns"
    show /tmp/out
fi
ctl sim replug "$1"
wait_for 10 zr417ctl info
ctl info
if [ $rc -eq 0 ] && has /tmp/out "Firmware version: 1.0"; then
    ok "re-plugged, the first keyboard runs the burned firmware (1.0, it had 0.9)"
else
    bad "the re-plugged keyboard (exit $rc)"
    show /tmp/out
fi

# --- shut down -----------------------------------------------------------------
kill -INT $listenpid
wait $listenpid
rc=$?
if [ $rc -eq 0 ] && has /tmp/listen.log "stopped after 3 host-action key(s)"; then
    ok "zr417ctl listen stopped cleanly after 3 host-action keys"
else
    bad "zr417ctl listen (exit $rc)"
    show /tmp/listen.log
fi
kill -TERM $simpid
wait $simpid
rc=$?
if [ $rc -eq 0 ]; then
    ok "zr417-sim stopped cleanly; its devices went with it ($(nodes) hidraw node(s) left: the bad devices)"
else
    bad "zr417-sim ended with exit $rc"
fi
if [ $failures -gt 0 ]; then
    echo "INFO zr417-sim's output:"
    show /tmp/sim.log
fi

# --- the cycle check through the real kernel ---------------------------------
# Two bootloaders of their own: six cycles left (mark 0x03) and none (0xFF).
wait_for 5 test "$(nodes)" -eq 2
zr417-vm-tool bootloaders 0x03 0xFF >/tmp/cycles.log 2>&1 &
cyclespid=$!
wait_for 10 test "$(nodes)" -eq 4
usleep 300000  # both collections of the second one
ctl flash /fw/sample_firmware.hex
cp /tmp/out /tmp/flash
if has /tmp/flash "Arrival, TimesLeft:6$" && has /tmp/flash "Arrival, TimesLeft:0$"; then
    ok "the probe reached both uhid bootloaders through hidraw: TimesLeft:6 and TimesLeft:0"
else
    bad "the probe of the two uhid bootloaders"
    show /tmp/flash
fi
if [ $rc -ne 0 ] && has /tmp/flash ": Left Num 0$" && has /tmp/flash ": Successful" &&
    has /tmp/flash "1 burned, 1 failed"; then
    ok "the bootloader with 0 cycles left was refused (Left Num 0), the other burned; zr417ctl exit $rc"
else
    bad "zr417ctl flash with a spent bootloader (exit $rc)"
    show /tmp/flash
fi
kill -TERM $cyclespid
wait $cyclespid
if grep -q "mark 0xFF): erased 0 time(s), finished 0" /tmp/cycles.log &&
    grep -q "mark 0x03): erased 1 time(s), finished 1" /tmp/cycles.log; then
    ok "the spent bootloader was never erased; the other was erased and finished once"
else
    bad "what the two bootloaders went through"
    show /tmp/cycles.log
fi

kill -TERM $badpid
wait $badpid
echo "VM RESULT: $checks checks, $failures failed"
[ $failures -eq 0 ]
