#!/usr/bin/env bash
# Configures and builds both trees: build/native (window-free code and its
# tests, with sanitizers) and build/win (the tool, the library and the Win32
# tests, cross-built with MinGW-w64).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

what=${1:-all}
if [ "$what" = all ] || [ "$what" = native ]; then
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/native
fi
if [ "$what" = all ] || [ "$what" = win ]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" >/dev/null
  cmake --build build/win
fi
