# Sourced by the build, run, test and benchmark scripts: which Windows build
# runs on this machine.
#
# The product is the 32-bit build (build/win, cmake/mingw-i686.cmake). Wine
# runs 32-bit Windows programs through its 32-bit loader, which is itself a
# 32-bit Linux program: a kernel built without 32-bit x86 support refuses it
# ("Exec format error"). On such a machine the same sources are also built
# for 64-bit Windows (build/win64), and Wine's 64-bit loader runs that build's
# programs and tests. The 32-bit build is still made everywhere, so the
# product and its 32-bit layout checks always compile.
#
# After sourcing: TARVEL_WIN_TREE is the tree whose programs run here, and
# tarvel_runs_win32 tells whether that is the 32-bit one.

tarvel_runs_win32() {
  # A missing loader means Wine is not installed yet; the 32-bit tree is then
  # assumed, as on every machine with 32-bit support.
  [ ! -e /usr/lib/wine/wine ] || /usr/lib/wine/wine --version >/dev/null 2>&1
}

if tarvel_runs_win32; then
  TARVEL_WIN_TREE=build/win
else
  TARVEL_WIN_TREE=build/win64
fi
export TARVEL_WIN_TREE
