# Sourced by the run and test scripts: a private Wine prefix and a display.
#   TARVEL_WINEPREFIX  prefix folder (default: build/wineprefix under the repo)
#   TARVEL_DISPLAY     X display number to start Xvfb on when none is usable
# After sourcing: WINEPREFIX, WINEDEBUG and DISPLAY are exported, and
# tarvel_wine_stop ends what this script started.

_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/win-tree.sh
source "$_repo/scripts/win-tree.sh"
if [ "$TARVEL_WIN_TREE" = build/win64 ]; then
  # Debian's wine script prefers the 32-bit loader whenever it is installed,
  # even where the kernel cannot run it: "wine" becomes the 64-bit loader.
  _shim=$_repo/build/wine64-loader
  mkdir -p "$_shim"
  for _name in wine wine-stable; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$_shim/$_name"
    chmod +x "$_shim/$_name"
  done
  export PATH="$_shim:$PATH"
  export WINELOADER=/usr/lib/wine/wine64
fi
export WINEPREFIX=${TARVEL_WINEPREFIX:-$_repo/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
_tarvel_xvfb_pid=

_display_works() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }

if ! _display_works; then
  n=${TARVEL_DISPLAY:-97}
  # Find a free display number; a stale lock file names a display that is gone.
  while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  _tarvel_xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 100); do _display_works && break; sleep 0.1; done
  _display_works || { echo "Xvfb did not start on :$n" >&2; return 1; }
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX (once, about 15 s)..."
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  # Chinese captions: link a CJK font behind the dialog font (Tahoma) and the
  # default GUI fonts, or Wine draws empty boxes for the glyphs.
  cp -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "MS Sans Serif"; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
  done
  wineserver -w
fi

# Without a window manager (our own virtual display) Wine waits up to two
# seconds for every managed top-level window to be withdrawn when it hides;
# unmanaged windows skip that wait. With a real desktop, let the window
# manager decorate the windows as usual.
if [ -n "$_tarvel_xvfb_pid" ]; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
else
  wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
fi

tarvel_wine_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "$_tarvel_xvfb_pid" ]; then kill "$_tarvel_xvfb_pid" 2>/dev/null || true; fi
}
