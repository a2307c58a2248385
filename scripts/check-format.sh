#!/usr/bin/env bash
# Checks that every C++ file the repository tracks is formatted as
# .clang-format says; names the files that are not. `clang-format -i FILE`
# mends one.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "Not formatted as .clang-format says (clang-format -i mends them):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format says"
