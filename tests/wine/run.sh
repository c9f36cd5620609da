#!/usr/bin/env bash
# Runs the Windows tests of one build under Wine: every unit-test binary once,
# then every end-to-end script tests/wine/e2e_*.sh. Each script takes the build
# it is given (WINE_ARCH_BITS tells it which).
#
# Usage: run.sh BUILD_DIR [e2e_name.sh ...]: with script names, only those
# scripts and no unit-test binaries (for working on one script).
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR [e2e_name.sh ...]}
shift
. "$here/lib.sh"
wine_init "$build"
trap wine_stop EXIT
echo "== Wine tests of $WINE_BUILD ($WINE_ARCH_BITS-bit, $(basename "$WINE"))"

scripts=()
if [ $# -gt 0 ]; then
    for s in "$@"; do scripts+=("$here/$(basename "$s")"); done
else
    while IFS= read -r binary; do
        [ -n "$binary" ] || continue
        name=$(basename "$binary")
        out="$WINE_WORK/$name.txt"
        if (cd "$(dirname "$binary")" && wine_run "$out" "$binary"); then
            pass "$name ($(grep -E '^\[  PASSED  \]' "$out" | head -1))"
        else
            fail "$name" "see $out"
            tail -40 "$out"
        fi
    done <"$WINE_BUILD/test-binaries.txt"
    scripts=("$here"/e2e_*.sh)
fi

for script in "${scripts[@]}"; do
    [ -f "$script" ] || { fail "$(basename "$script")" "no such script"; continue; }
    echo "== $(basename "$script")"
    . "$script"
done

wine_summary
