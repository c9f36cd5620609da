#!/bin/sh
# Builds the script-language fuzz target with clang into build/fuzz and runs it
# for a bounded time: run.sh [seconds], 60 by default. Exits non-zero when the
# target crashes, trips a sanitizer or times out on an input.
set -eu
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build/fuzz"
mkdir -p "$build/corpus"

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DAV_SANITIZE=address,undefined -DAV_FUZZ=ON \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target gauge_script_fuzz -j2

echo "fuzzing the gauge scripts for $seconds s"
"$build/tests/fuzz/gauge_script_fuzz" \
    -max_total_time="$seconds" -timeout=10 -max_len=1024 \
    -dict="$root/tests/fuzz/gauge_script.dict" \
    -artifact_prefix="$build/" -print_final_stats=1 \
    "$build/corpus" "$root/tests/fuzz/seeds" >"$build/fuzz.log" 2>&1 ||
    { tail -n 60 "$build/fuzz.log"; exit 1; }
tail -n 12 "$build/fuzz.log"
