#!/usr/bin/env bash
# The real player on its own X display with SDL's real renderer: it plays the
# small demo card's first recording, and every open channel cell must show a
# title bar and a picture that changes between two screenshots. Three runs:
# without the map pane, with it (the window then composes through OpenGL),
# and with it on a display where OpenGL does not work (the map pane then
# explains itself; the video must not suffer).
#   player_smoke_test.sh PLAYER MKDEMO
set -euo pipefail
player=$1 mkdemo=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$mkdemo" --small "$work/card" > /dev/null

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3> "$work/display" 2> /dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
# The X keyboard library strndup()s key names out of X replies that are not
# nul-terminated; strict string checks flag that inside the system library, so
# they are off for this run (the unit tests keep them).
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0:strict_string_checks=0"
# The map's browser engine refuses to run as root with its sandbox.
export QTWEBENGINE_DISABLE_SANDBOX=1

mean() { convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:mean]' info:; }
failures=0

check() {  # check NAME SHOWMAP [ENV...]
  local name=$1 showmap=$2
  shift 2
  local config="$work/config-$name"
  mkdir -p "$config/Corvane"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\CorvanePlayer]\n"MapName"=dword:00000001\n"ShowMap"=dword:%08x\n' \
    "$showmap" > "$config/Corvane/CorvanePlayer.reg"
  env XDG_CONFIG_HOME="$config" "$@" "$player" --play "$work/card" > "$work/cells-$name" 2> "$work/player-$name.log" &
  local pid=$!
  pids+=($pid)
  for _ in $(seq 600); do grep -q '^cell' "$work/cells-$name" 2>/dev/null && break; sleep 0.1; done
  if ! grep -q '^cell' "$work/cells-$name"; then
    echo "$name: the player reported no playing channel"
    tail -n 20 "$work/player-$name.log"
    failures=$((failures + 1))
    kill "$pid" 2>/dev/null || true
    return
  fi
  # The small card's recordings last 4 seconds and the cells were printed
  # 1.5 s in: both screenshots must fall well inside the same recording.
  import -window root "$work/a.png"
  sleep 0.6
  import -window root "$work/b.png"
  while read -r _ n x y w h _ tx ty tw th; do
    region="${w}x${h}+${x}+${y}"
    convert "$work/a.png" -crop "$region" +repage "$work/ca.png"
    convert "$work/b.png" -crop "$region" +repage "$work/cb.png"
    changed=$(compare -metric AE -fuzz 5% "$work/ca.png" "$work/cb.png" null: 2>&1 || true)
    bright=$(mean "$work/b.png" "$region")
    title=$(mean "$work/b.png" "$((tw - 4))x$((th - 2))+$((tx + 2))+$((ty + 2))")
    echo "$name channel $n: ${changed} pixels changed, picture brightness $bright, title bar $title"
    if (( ${changed%%.*} < (w * h / 100) )); then echo "$name channel $n: the picture does not change"; failures=$((failures + 1)); fi
    if awk "BEGIN { exit !($bright < 0.05) }"; then echo "$name channel $n: the picture is black"; failures=$((failures + 1)); fi
    if awk "BEGIN { exit !($title < 0.2 || $title > 0.7) }"; then echo "$name channel $n: no title bar"; failures=$((failures + 1)); fi
  done < <(grep '^cell' "$work/cells-$name")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

check plain 0
check map 1
check map-without-opengl 1 LIBGL_DRIVERS_PATH=/nonexistent
exit $(( failures > 0 ))
