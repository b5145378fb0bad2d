#!/bin/sh
# Screenshots of the profile manager in both languages, plain and with its
# context menu open.
# Usage: docs/profile-manager/make-screenshots.sh [build folder]
# Needs xvfb-run and ImageMagick's import; the shot target must be built
# (ninja zr417_profile_manager_shot).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
shot="$build/tests/zr417_profile_manager_shot"
[ -x "$shot" ] || { echo "build zr417_profile_manager_shot first ($shot)" >&2; exit 1; }
for language in english chinese; do
  for menu in "" menu; do
    data=$(mktemp -d)
    out="$here/${language}${menu:+-$menu}.png"
    xvfb-run -a -s "-screen 0 400x720x24" sh -c "
      \"$shot\" $language \"$data\" 4 $menu & pid=\$!
      sleep 2
      import -window root -crop 263x632+40+40 +repage \"$out\"
      wait \$pid" >/dev/null 2>&1
    rm -rf "$data"
    echo "$out"
  done
done
