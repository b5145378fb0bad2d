#!/bin/sh
# Screenshots of the main window (README.md in this folder says what each
# shows), including Qt's own dialogs in Chinese.
# Usage: docs/main-window/make-screenshots.sh [build folder]
# Needs xvfb-run, xdotool and ImageMagick's import; the programs must be built.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
program="$build/bin/ZR417 RGB Gaming Keyboard"
[ -x "$program" ] || { echo "build the programs first ($program)" >&2; exit 1; }

# shoot MODEL LANGUAGE FILE STEPS: STEPS are shell lines run once the window
# is up; c X Y clicks there, m X Y moves the mouse there.
shoot() {
  d=$(mktemp -d)
  mkdir -p "$d/config" "$d/data" "$d/run"
  chmod 700 "$d/run"
  [ "$2" = chinese ] && printf '[General]\nLanguage=chinese\n' >"$d/config/QV310.conf"
  XDG_CONFIG_HOME="$d/config" ZR417_DATA_DIR="$d/data" XDG_RUNTIME_DIR="$d/run" HOME="$d" ZR417_SIMULATE="$1" \
  xvfb-run -a -s "-screen 0 1280x800x24" sh -c "
    \"$program\" & pid=\$!
    sleep 3
    c() { xdotool mousemove \$1 \$2 click 1; sleep 0.5; }
    m() { xdotool mousemove \$1 \$2; sleep 0.5; }
    $4
    sleep 0.5
    import -window root -crop 1000x640+0+0 +repage \"$here/$3\"
    kill \$pid" >/dev/null 2>&1
  rm -rf "$d"
  echo "$here/$3"
}

shoot QV310 english qv310-english-wave.png "c 100 165; c 100 263; c 146 204; c 100 395; c 100 434; c 36 432; m 472 280"
shoot QV420 english qv420-english-help-menu.png "c 100 395; c 100 474; c 38 460; c 944 12; m 900 60"
shoot QV420 chinese qv420-chinese-effect-list.png "c 100 165; m 100 283"
# Four keys painted through the colour dialog (red, green, blue, yellow).
shoot QV310 chinese qv310-chinese-diy-per-key-colours.png "c 100 165; c 100 303; c 100 395; c 100 474
  for k in '366 307 269 195' '394 307 409 123' '422 307 241 171' '450 307 437 195'; do
    set -- \$k; c \$1 \$2; c \$3 \$4; xdotool key Return; sleep 0.5
  done; m 700 550"
shoot QV310 chinese chinese-message-box.png "c 820 618"
# Half a second into Save's download (about 1.1 s): the window shows it is busy.
shoot QV310 english qv310-english-saving.png "m 600 560; xdotool mousemove 950 620 click 1"
shoot QV310 chinese qv310-chinese-saving.png "m 600 560; xdotool mousemove 950 620 click 1"
shoot QV310 chinese chinese-colour-dialog.png "c 100 165; c 100 303; c 480 255; sleep 1"
# Key A, the Advance tab, the first row's browse button.
shoot QV310 chinese chinese-file-dialog.png "c 366 307; sleep 1; c 608 182; c 598 217; sleep 1.5"
