#!/usr/bin/env bash
# Runs a test command with the display's dpi set in the Wine prefix
# (HKCU\Control Panel\Desktop, LogPixels), which Wine reads as a program
# starts; the value the prefix had is put back afterwards, however the
# command ends. The command finds the dpi in TARVEL_TEST_DPI.
#   run-at-dpi.sh DPI COMMAND [ARGS...]
set -euo pipefail
dpi=$1
shift
key='HKCU\Control Panel\Desktop'
old=$(wine reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" {print $3}' || true)
restore() {
  if [ -n "$old" ]; then
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$((old))" /f >/dev/null 2>&1 || true
  else
    wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1 || true
  fi
}
trap restore EXIT
wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
TARVEL_TEST_DPI=$dpi "$@"
