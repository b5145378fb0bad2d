#!/bin/sh
# Screenshots of every tab of both key assignment dialogs in both languages.
# Usage: docs/key-assignment/make-screenshots.sh [build folder]
# Needs xvfb-run and ImageMagick's import; the demo target must be built.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
demo="$build/bin/zr417_keymap_dialog_demo"
[ -x "$demo" ] || { echo "build zr417_keymap_dialog_demo first ($demo)" >&2; exit 1; }
for model in 1 2; do
  name=QV310; tabs="0 1 2 3"
  [ "$model" = 2 ] && name=QV420
  for language in english chinese; do
    for tab in $tabs; do
      out="$here/${name}-${language}-tab${tab}.png"
      xvfb-run -a -s "-screen 0 1280x800x24" sh -c "
        \"$demo\" $model $language $tab 4 & pid=\$!
        sleep 2
        import -window root -crop 325x276+20+20 +repage \"$out\"
        wait \$pid" >/dev/null 2>&1
      echo "$out"
    done
  done
done
