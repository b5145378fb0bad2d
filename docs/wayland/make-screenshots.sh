#!/bin/sh
# Screenshots of the main program under weston (README.md in this folder says
# what each shows): the Wayland test takes them from the compositor.
# Usage: docs/wayland/make-screenshots.sh [build folder]
# Needs weston, xdotool and Xvfb; the programs and tests must be built.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
ZR417_RUNTIME_DIR="$build/bin" "$build/tests/wayland_flows" >/dev/null
shots="$build/wayland-screens"
for n in main profile-panel macro-manager key-assignment saved; do
  cp "$shots/EnglishAtScale2-$n.png" "$here/english-scale2-$n.png"
  cp "$shots/ChineseAtScale1-$n.png" "$here/chinese-scale1-$n.png"
done
cp "$shots/EnglishAtScale1-headless-main.png" "$here/../hidpi/main-english-scale1.png"
cp "$shots/ChineseAtScale2-headless-main.png" "$here/../hidpi/main-chinese-scale2.png"
ls "$here"/*.png
