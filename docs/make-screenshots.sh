#!/usr/bin/env bash
# Takes the README's screenshots of the main window at 100 % (96 dpi) and
# 200 % (192 dpi) display scaling, on a virtual display large enough for the
# larger window (the client area: without a window manager the caption bar
# is not an X window of its own). Needs the Windows build (scripts/build.sh
# win), Xvfb, xdotool and ImageMagick's import. Writes docs/screenshot.png and
# docs/screenshot-200.png; the prefix's own dpi setting is put back.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

n=120
while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 2000x1600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$n"
for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh

key='HKCU\Control Panel\Desktop'
old=$(wine reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" {print $3}' || true)
cleanup() {
  if [ -n "$old" ]; then
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$((old))" /f >/dev/null 2>&1 || true
  else
    wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1 || true
  fi
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

shots=$repo/build/shots
mkdir -p "$shots"
cp -f "$TARVEL_WIN_TREE"/bin/Tarvel_AP.exe "$TARVEL_WIN_TREE"/bin/Tarvel_DLL.dll "$shots/"
for dpi in 96 192; do
  wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  rm -f "$shots/Setting.ini"
  (cd "$shots" && wine Tarvel_AP.exe) &
  tool=$!
  win=
  for _ in $(seq 1 300); do
    win=$(xdotool search --name '^Tessaro Tarvel' 2>/dev/null | head -n 1 || true)
    [ -n "$win" ] && break
    sleep 0.1
  done
  sleep 2  # let the first paint finish
  out=docs/screenshot.png
  [ "$dpi" = 96 ] || out=docs/screenshot-200.png
  import -window "$win" "$out"
  wineserver -k 2>/dev/null || true
  wait "$tool" 2>/dev/null || true
done
echo "Screenshots: docs/screenshot.png, docs/screenshot-200.png"
