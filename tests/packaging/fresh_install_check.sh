#!/usr/bin/env bash
# The Debian package on a brand-new Debian 12, as a user meets it; run as root
# by scripts/package.sh --fresh-check (inside fresh-debian-check, which puts
# the package into /src/files/). Installs it with apt, runs the installed
# programs on the simulator as an ordinary user under Xvfb, applies profiles
# through the running program and without it, starts it the way the desktop
# does at login, then removes the package and looks for anything left of it.
set -euo pipefail
deb=$(ls /src/files/zr417-keyboard_*_amd64.deb)
export DEBIAN_FRONTEND=noninteractive
step() { echo "== $*"; }
fail() { echo "FAILED: $*" >&2; exit 1; }

step "apt-get install $deb"
apt-get update -qq
apt-get install -y -qq --no-install-recommends "$deb" >/tmp/install.log || { cat /tmp/install.log; fail "install"; }
dpkg -L zr417-keyboard | sort >/tmp/ours.txt

step "installed files"
test -f /usr/lib/udev/rules.d/60-zr417.rules || fail "udev rule"
test -f /etc/xdg/autostart/org.zr417.Keyboard.desktop || fail "autostart entry"
grep -qx 'Exec=env ZR417_AUTOSTART=1 "/usr/bin/zr417-keyboard"' /etc/xdg/autostart/org.zr417.Keyboard.desktop ||
  fail "autostart Exec line"
test -f /usr/share/applications/org.zr417.Keyboard.desktop || fail "menu entry"
test -f /usr/share/metainfo/org.zr417.Keyboard.metainfo.xml || fail "AppStream data"
test -x /usr/bin/zr417-keyboard && test -x /usr/bin/zr417ctl && test -x /usr/bin/zr417-sim || fail "commands"

# Only for this check: an X server and a window lister (not the package's).
apt-get install -y -qq --no-install-recommends xvfb xauth x11-utils >/tmp/x.log 2>&1 || { cat /tmp/x.log; fail "xvfb"; }
id player >/dev/null 2>&1 || useradd -m player
# An unpacked system's root folder may carry its temporary folder's 0700;
# a real one is 0755, or no user could run anything.
[ "$(stat -c %a /)" = 755 ] || { echo "(root folder was $(stat -c %a /); made 755)"; chmod 755 /; }
# The programs run as that user, unless /dev/null is not theirs to write
# (a chroot that binds in a host's /dev/null of mode 0755): then as root.
as_user=(runuser -u player --)
if [ "$(stat -c %a /dev/null)" != 666 ]; then
  echo "(/dev/null is $(stat -c %a /dev/null) here: running the programs as root)"
  as_user=(env HOME=/root)
fi
command -v xauth >/dev/null || fail "xauth did not install"

step "the installed programs on the simulator"
"${as_user[@]}" bash -euo pipefail -c '
  fail() {
    for log in /tmp/player-*.log; do echo "-- $log:"; tail -n 20 "$log"; done
    echo "FAILED: $*" >&2
    exit 1
  }
  export XDG_RUNTIME_DIR=/tmp/run-player ZR417_SIM=1 ZR417_TRACE=1
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  data="$HOME/.local/share/ZR417 RGB Gaming Keyboard"
  zr417-sim --plug QV310 >/tmp/player-sim.log 2>&1 &
  for i in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/zr417-sim.sock" ] && break; sleep 0.2; done

  xvfb-run -a -s "-screen 0 1280x800x24" zr417-keyboard >/tmp/player-program.log 2>&1 &
  for i in $(seq 150); do [ -s "$data/keymap.bin" ] && break; sleep 0.2; done
  [ "$(stat -c %s "$data/keymap.bin")" = 213116 ] || fail "the program wrote no keymap.bin"

  zr417ctl profile save Calm
  cp "$data/Configure/Calm.bin" "$data/Configure/Wave.bin"
  printf "\003" | dd of="$data/Configure/Wave.bin" bs=1 seek=6988 conv=notrunc status=none  # effect 3
  zr417ctl profile list
  out=$(zr417ctl profile apply Wave) && echo "$out"
  grep -q "Applied profile \"Wave\": the program and the QV310 keyboard hold it" <<<"$out" || fail "apply through the program"
  grep -q "Profile \"Wave\" applied from outside" /tmp/player-program.log || fail "the program did not apply it"
  out=$(zr417ctl profile apply Wave) && echo "$out"
  grep -q "already" <<<"$out" || fail "a second apply sent the profile again"
  if zr417ctl profile apply Storm 2>/tmp/unknown.txt; then fail "an unknown name succeeded"; fi
  grep -q "  Wave" /tmp/unknown.txt || fail "an unknown name does not list the profiles"
  # The program ends; its lock names its process.
  pid=$(head -n 1 "$XDG_RUNTIME_DIR"/zr417-*.lock)
  kill "$pid"
  for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done

  out=$(zr417ctl --trace profile apply Calm) && echo "$out" | tail -n 1
  grep -q "Applied profile \"Calm\" to the QV310 keyboard" <<<"$out" || fail "apply without the program"
  out=$(zr417ctl --trace profile apply Calm) && echo "$out"
  grep -q "Data" <<<"$out" && fail "a second apply without the program wrote to the keyboard"
  cmp -s <(head -c 213116 "$data/Configure/Calm.bin" | tail -c +6989 | head -c 1) <(tail -c +6989 "$data/keymap.bin" | head -c 1) ||
    fail "keymap.bin does not hold the applied profile"

  # As the desktop starts it at login, without a keyboard: no splash, no window.
  zr417ctl sim unplug 1
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
    env ZR417_AUTOSTART=1 /usr/bin/zr417-keyboard >/tmp/player-login.log 2>&1 & pid=\$!
    sleep 14
    { xwininfo -name \"ZR417 RGB Gaming Keyboard\" 2>&1 || true; } >/tmp/player-windows.txt
    kill \$pid"
  grep -q "Splash screen shown" /tmp/player-login.log && fail "the login start showed the splash"
  grep -q "IsViewable" /tmp/player-windows.txt && fail "the login start showed the window"
  echo "login start without a keyboard: no splash, no window ($(grep -o "Map State: [A-Za-z]*" /tmp/player-windows.txt || echo "no window"))"
'

step "apt-get remove zr417-keyboard"
apt-get remove -y -qq zr417-keyboard >/dev/null
left=()
while read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  # A folder stays when other packages' files are in it or own it.
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    [ -n "$(ls -A "$path")" ] && continue
    dpkg -S "$path" >/dev/null 2>&1 && continue
  fi
  left+=("$path")
done </tmp/ours.txt
[ ${#left[@]} -eq 0 ] || { printf '  left: %s\n' "${left[@]}"; fail "removal left files of the package"; }
# dpkg keeps a removed package with a postrm on its list until a purge runs
# that script; it must name no configuration file.
status=$(dpkg-query -W -f='${Status}' zr417-keyboard 2>/dev/null || true)
conffiles=$(dpkg-query -W -f='${Conffiles}' zr417-keyboard 2>/dev/null || true)
[ -z "$conffiles" ] || fail "removal left configuration files: $conffiles"
echo "removed: no file of the package is left (dpkg status: ${status:-unknown}, no configuration files)"
apt-get purge -y -qq zr417-keyboard >/dev/null
status=$(dpkg-query -W -f='${Status}' zr417-keyboard 2>/dev/null || true)
case "$status" in *installed*|*config-files*) fail "still known to dpkg after a purge: $status" ;; esac
echo "purged: dpkg no longer lists it"
echo "fresh install check: passed"
