#!/usr/bin/env bash
# Configures and builds the trees: build/native (window-free code and its
# tests, with sanitizers) and build/win (the tool, the library and the Win32
# tests, cross-built with MinGW-w64 for 32-bit Windows). On a machine that
# cannot run 32-bit programs, build/win64 as well: the same for 64-bit
# Windows, which is what runs there (scripts/win-tree.sh).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
# shellcheck source=scripts/win-tree.sh
source scripts/win-tree.sh

# A compiler cache, where one is installed, makes a rebuild in another
# checkout of the same sources quick.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

what=${1:-all}
if [ "$what" = all ] || [ "$what" = native ]; then
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  cmake --build build/native
fi
if [ "$what" = all ] || [ "$what" = win ]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" >/dev/null
  cmake --build build/win
  if [ "$TARVEL_WIN_TREE" = build/win64 ]; then
    cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
      -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake" >/dev/null
    cmake --build build/win64
  fi
fi
