#!/bin/sh
# Screenshots of the macro manager with a macro recorded through the key
# hook, in both languages: the recorded macro, recording under way, the
# step menu with its mouse submenu, and a longer macro that scrolls.
# Usage: docs/macro-manager/make-screenshots.sh [build folder]
# Needs xvfb-run and ImageMagick's import; the demo target must be built.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
demo="$build/bin/zr417_macro_manager_demo"
[ -x "$demo" ] || { echo "build zr417_macro_manager_demo first ($demo)" >&2; exit 1; }
for language in english chinese; do
  for scene in recorded recording menu long; do
    out="$here/${language}-${scene}.png"
    crop=400x430+20+20
    [ "$scene" = menu ] && crop=560x430+20+20
    xvfb-run -a -s "-screen 0 1280x800x24" sh -c "
      \"$demo\" $language $scene 5 & pid=\$!
      sleep 3
      import -window root -crop $crop +repage \"$out\"
      wait \$pid" >/dev/null 2>&1
    echo "$out"
  done
done
