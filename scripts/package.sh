#!/usr/bin/env bash
# Builds the Windows programs and packs what a Windows user unzips and runs:
# Tarvel_AP.exe, Tarvel_CLI.exe, Tarvel_DLL.dll and a short README.txt, in
# build/Tarvel-win32.zip (one folder "Tarvel" inside).
#   bash scripts/package.sh
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

bash scripts/install-deps.sh
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win --target Tarvel_AP Tarvel_CLI Tarvel_DLL

stage=build/package/Tarvel
rm -rf build/package
mkdir -p "$stage"
cp build/win/bin/Tarvel_AP.exe build/win/bin/Tarvel_CLI.exe build/win/bin/Tarvel_DLL.dll "$stage/"
# Windows line ends, so that Notepad shows the lines of the README.
sed 's/$/\r/' docs/package-README.txt > "$stage/README.txt"
# The debug information stays in the build tree; the user gets lean files.
for f in "$stage"/*.exe "$stage"/*.dll; do i686-w64-mingw32-strip "$f"; done

zip=build/Tarvel-win32.zip
rm -f "$zip"
(cd build/package && zip -q -X -r "../Tarvel-win32.zip" Tarvel)
echo "$zip:"
unzip -l "$zip" | tail -n +4 | head -n -2
