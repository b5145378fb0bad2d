#!/usr/bin/env bash
# Installs the Debian packages that are missing.
#   scripts/setup.sh           what building and running the programs need
#   scripts/setup.sh --tests   that, plus what the tests need
#   scripts/setup.sh --package that, plus what building the Debian package needs
# Does nothing when every package is already installed.
set -euo pipefail

# Building and running: compiler and libraries, the fonts the programs ask
# for by name, and an X server for a machine without a display.
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libudev-dev
  fonts-liberation fonts-wqy-zenhei
  # Qt's own texts (dialog buttons, colour and file dialogs) in Chinese
  qt6-translations-l10n
  # native on Wayland desktops (GNOME, KDE)
  qt6-wayland
  xvfb xauth imagemagick
)
tests=(
  libgtest-dev libgmock-dev libbenchmark-dev
  # end-to-end flows on a private X server
  xdotool x11-utils
  # the key capture under real keyboard layouts (setxkbmap)
  x11-xkb-utils
  # the installed menu entry and AppStream data are validated
  desktop-file-utils appstream
  # the udev rule is evaluated by udevadm on a made-up sysfs
  udev
  # the program as a Wayland client under the reference compositor (tests/wayland)
  weston
  # the virtual-machine test of the real kernel HID path (tests/vm)
  qemu-system-x86 linux-image-amd64 busybox-static
  # the Debian package's contents and control fields (dpkg-shlibdeps, file);
  # dpkg-buildflags gives the test build Debian's hardening flags
  dpkg-dev file
  # the format check of every C++ file (Debian 12's clang-format is 14)
  clang-format
  # a private system bus for the end of a suspend (automatic profiles)
  dbus-daemon
)
# scripts/package.sh: cpack's dependency list (dpkg-shlibdeps needs file),
# Debian's build flags, and the package check.
package=(dpkg-dev file lintian)
# The OpenRGB server's test drives it with the npm client openrgb-sdk: Node
# and npm from Debian, unless the machine has an npm already (a Node set up
# by other means brings its own).
if ! command -v npm >/dev/null 2>&1; then
  tests+=(nodejs npm)
fi
case "${1:-}" in
  "") ;;
  --tests) packages+=("${tests[@]}") ;;
  --package) packages+=("${package[@]}") ;;
  *) echo "usage: scripts/setup.sh [--tests | --package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
# sudo drops the environment; env passes the frontend on to apt and debconf.
as_root=(env DEBIAN_FRONTEND=noninteractive)
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo "${as_root[@]}")
fi
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
