#!/usr/bin/env bash
# Builds the image core's fuzz targets with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, 64-bit and 32-bit (the product is a 32-bit
# process; the 32-bit targets run where the kernel can run them), replays the committed corpus, then fuzzes each target for a
# bounded time. Exit status 0 only when nothing failed.
#
#   tests/fuzz/run-fuzz.sh                # about 2 minutes on two cores
#   FUZZ_SECONDS=60 tests/fuzz/run-fuzz.sh
#   FUZZ_OUT=/tmp/fz tests/fuzz/run-fuzz.sh
#
# A failing input is left in $FUZZ_OUT/artifacts; copy it into
# tests/fuzz/corpus/<target>/ so that ctest replays it from then on.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${FUZZ_OUT:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-20}
targets=(hex_parse hex_pairs hex_model hex_roundtrip compose insert_address srec_parse elf_parse)
core=(IntelHex HexPairs ImageCompose LoadState ByteSum InsertAddress SRecord Elf FileFormat)
support=(HexModel HexWriter WholeTextHex WholeTextSRecord)

cxx=${CXX_FUZZ:-clang++}
flags=(-std=c++17 -O1 -g -fno-omit-frame-pointer -Wall -Wextra -Werror
       -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
       -I"$root")

build() {  # $1 = 64 or 32
    local bits=$1 dir="$out/$1" m=()
    [ "$bits" = 32 ] && m=(-m32)
    mkdir -p "$dir"
    local objs=()
    for f in "${core[@]}"; do
        "$cxx" "${flags[@]}" "${m[@]}" -c "$root/image/$f.cpp" -o "$dir/$f.o"
        objs+=("$dir/$f.o")
    done
    for f in "${support[@]}"; do
        "$cxx" "${flags[@]}" "${m[@]}" -c "$here/support/$f.cpp" -o "$dir/$f.o"
        objs+=("$dir/$f.o")
    done
    for t in "${targets[@]}"; do
        "$cxx" "${flags[@]}" "${m[@]}" -fsanitize=fuzzer "$here/fuzz_$t.cpp" "${objs[@]}" -o "$dir/fuzz_$t"
    done
}

run() {  # $1 = 64 or 32: replay, then fuzz every target in turn
    local bits=$1 dir="$out/$1" t
    for t in "${targets[@]}"; do
        local work="$out/work/$t-$bits" dict=()
        case $t in hex_*) dict=(-dict="$here/hex.dict") ;; srec_*) dict=(-dict="$here/srec.dict") ;; esac
        mkdir -p "$work" "$out/artifacts"
        cp -n "$here/corpus/$t/"* "$work/" 2>/dev/null || true
        echo "== $t ($bits-bit): replay"
        "$dir/fuzz_$t" -runs=0 "$here/corpus/$t" >"$out/log-$t-$bits.txt" 2>&1 || { cat "$out/log-$t-$bits.txt"; return 1; }
        echo "== $t ($bits-bit): fuzz ${seconds}s"
        if ! "$dir/fuzz_$t" "${dict[@]}" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
                -rss_limit_mb=2048 -print_final_stats=1 \
                -artifact_prefix="$out/artifacts/$t-$bits-" "$work" >>"$out/log-$t-$bits.txt" 2>&1; then
            tail -n 40 "$out/log-$t-$bits.txt"
            echo "FAILED: $t ($bits-bit); the input is in $out/artifacts/; add it to tests/fuzz/corpus/$t/"
            return 1
        fi
        grep -E '^stat::number_of_executed_units|^Done' "$out/log-$t-$bits.txt" | tail -n 1
    done
}

mkdir -p "$out"
echo "Building fuzz targets in $out"
build 64 & b64=$!
build 32 & b32=$!
wait $b64
wait $b32

# One core per width. A kernel built without 32-bit x86 support cannot run
# the 32-bit targets ("Exec format error"): they are built, so they still
# compile.
widths=(64 32)
if ! "$out/32/fuzz_${targets[0]}" -help=1 >/dev/null 2>&1; then
    echo "This machine cannot run 32-bit programs: the 32-bit targets are built but not run."
    widths=(64)
fi
status=0
pids=()
for w in "${widths[@]}"; do
    run "$w" >"$out/run-$w.txt" 2>&1 &
    pids+=($!)
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
for w in "${widths[@]}"; do cat "$out/run-$w.txt"; done
if [ $status -ne 0 ]; then
    echo "fuzzing FAILED"
else
    echo "fuzzing passed: ${#targets[@]} targets, ${widths[*]}-bit, ${seconds}s each"
fi
exit $status
