#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for its share of one
# time budget: run.sh [seconds], 120 by default, of which the gauge scripts get
# 25 %, the exe.xml editor, the XML reader and gauge files 20 % each and .bmp
# files 15 %. Exits non-zero
# when a target crashes, trips a sanitizer, leaks, breaks one of its own checks
# or times out on an input. FUZZ_BUILD names the build folder (build/fuzz).
set -eu
seconds="${1:-120}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${FUZZ_BUILD:-$root/build/fuzz}"
mkdir -p "$build"

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DAV_SANITIZE=address,undefined -DAV_FUZZ=ON \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target gauge_script_fuzz launch_edit_fuzz xml_reader_fuzz \
    gauge_file_fuzz bmp_fuzz -j2

# fuzz NAME SECONDS MAX_LEN DICT SEED_FOLDER...
fuzz() {
    name=$1 time=$2 len=$3 dict=$4
    shift 4
    [ "$time" -ge 1 ] || time=1
    mkdir -p "$build/corpus-$name"
    echo "fuzzing $name for $time s"
    "$build/tests/fuzz/$name" \
        -max_total_time="$time" -timeout=10 -max_len="$len" -dict="$dict" \
        -artifact_prefix="$build/$name-" -print_final_stats=1 \
        "$build/corpus-$name" "$@" >"$build/$name.log" 2>&1 ||
        { tail -n 60 "$build/$name.log"; exit 1; }
    tail -n 12 "$build/$name.log"
}

fuzz gauge_script_fuzz $((seconds * 25 / 100)) 1024 "$root/tests/fuzz/gauge_script.dict" \
    "$root/tests/fuzz/seeds"
fuzz launch_edit_fuzz $((seconds * 20 / 100)) 4096 "$root/tests/fuzz/exe_xml.dict" \
    "$root/tests/registration/exe_xml"
fuzz xml_reader_fuzz $((seconds * 20 / 100)) 4096 "$root/tests/fuzz/exe_xml.dict" \
    "$root/tests/xml/corpus" "$root/tests/registration/exe_xml"
fuzz gauge_file_fuzz $((seconds * 20 / 100)) 4096 "$root/tests/fuzz/gauge_file.dict" \
    "$root/tests/fuzz/gauge_files"
fuzz bmp_fuzz $((seconds * 15 / 100)) 4096 "$root/tests/fuzz/bmp.dict" \
    "$root/tools/test_gauge/1024"
