#!/usr/bin/env bash
# Start-up time of Tarvel_AP.exe under Wine to a painted, answering main
# window, against the bare main window built from the tool's own resources
# (bench/app/StartupBench.cpp), alternately in one run.
#   bench/startup.sh [ROUNDS] [OTHER_Tarvel_AP.exe]
# OTHER_Tarvel_AP.exe, a build of the tool from other sources (an older
# commit, say), joins the rounds for a before-and-after figure.
# wineserver is started first and kept running, so that the figure is the
# tool's own start, not Wine's.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
# Ninja prints a compiler's errors on standard output: a failed build must
# show them rather than end the script without a word.
log=$(mktemp)
if ! bash scripts/build.sh win >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "startup.sh: the build failed; no figures" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"
source scripts/wine-env.sh
# Every program is timed as the package ships it, stripped of its debug
# information: under Wine an unstripped program starts slower by its size,
# which would measure the build rather than the program.
stage=$(mktemp -d /tmp/tarvel-startup.XXXXXX)
trap 'rm -rf "$stage"; tarvel_wine_stop' EXIT
case "$TARVEL_WIN_TREE" in
  build/win64) strip=x86_64-w64-mingw32-strip ;;
  *) strip=i686-w64-mingw32-strip ;;
esac
for f in startup_bench.exe Tarvel_AP.exe bare_dialog.exe Tarvel_DLL.dll; do
  "$strip" -o "$stage/$f" "$TARVEL_WIN_TREE/bin/$f"
done
other=()
if [ -n "${2:-}" ]; then
  "$strip" -o "$stage/Tarvel_AP_other.exe" "$2"
  other=(Tarvel_AP_other.exe)
fi
wineserver -p || true  # persistent until killed
wine cmd /c exit >/dev/null 2>&1
wine "$stage/startup_bench.exe" "${1:-7}" "${other[@]}"
