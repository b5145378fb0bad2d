#!/usr/bin/env bash
# Builds and starts the main program. When no keyboard is attached it runs on
# the built-in simulated keyboard (ZR417_SIMULATE=QV310; set ZR417_SIMULATE
# yourself to choose QV420). Without a display the
# program runs under Xvfb and a screenshot of the whole Xvfb screen (the
# program's window on it) is saved to build/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh --programs
exe="build/bin/ZR417 RGB Gaming Keyboard"

# A keyboard of either model (or its third identity) among the hidraw devices?
keyboard_attached() {
  grep -qiE 'HID_ID=0003:0000(1C4F:00005DC4|260D:00000015|1B80:0000B51D)' \
    /sys/class/hidraw/hidraw*/device/uevent 2>/dev/null
}
if [ -z "${ZR417_SIMULATE:-}" ] && ! keyboard_attached; then
  echo "No keyboard found: using the simulated QV310 (ZR417_SIMULATE=QV310)."
  export ZR417_SIMULATE=QV310
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$exe"
fi

# Qt wants a private runtime folder; a bare Xvfb session has none.
# A fresh one of our own: a fixed name in /tmp could be another user's.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d /tmp/zr417-runtime.XXXXXX)
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
shot="$PWD/build/screenshot.png"
echo "No display: running under Xvfb; the screenshot goes to $shot"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$1" & pid=$!
  sleep "${ZR417_SCREENSHOT_DELAY:-4}"
  import -window root "$2" && echo "screenshot saved: $2"
  kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
' _ "$exe" "$shot"
