#!/usr/bin/env bash
# Installs what building and testing Tarvel needs on Debian 12. Idempotent:
# it only calls apt when a package is missing.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine fonts-wqy-microhei
  xvfb xauth x11-apps x11-utils xdotool imagemagick socat
  cmake ninja-build g++ clang clang-format libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  binutils srecord valgrind hyperfine g++-multilib openssl zip unzip
  postgresql unixodbc unixodbc-dev odbc-postgresql
)
# The shared database's tests: Wine's 32-bit odbc32 loads the i386 unixODBC
# and its driver, which only matter where 32-bit programs run. libpq5:i386
# must be the version of the installed libpq5:amd64, or apt would upgrade the
# server's packages to match it.
# shellcheck source=scripts/win-tree.sh
source "$(dirname "${BASH_SOURCE[0]}")/win-tree.sh"
i386_odbc=()
if [ -e /usr/lib/wine/wine ] && tarvel_runs_win32; then
  packages+=(libodbc2:i386 odbc-postgresql:i386)
  libpq=$(dpkg-query -W -f='${Version}' libpq5:amd64 2>/dev/null || true)
  if [ -n "$libpq" ] && ! dpkg-query -W -f='${Status}' libpq5:i386 2>/dev/null | grep -q 'install ok installed'; then
    i386_odbc=("libpq5:i386=$libpq")
  fi
fi

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" "${i386_odbc[@]}"
elif [ -n "${need_update:-}" ]; then
  $SUDO apt-get update -q
fi
