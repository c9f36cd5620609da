#!/usr/bin/env bash
# Runs the Windows tests of one build under Wine: every unit-test binary once,
# then every end-to-end script tests/wine/e2e_*.sh.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR}
. "$here/lib.sh"
wine_init "$build"
trap wine_stop EXIT

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

for script in "$here"/e2e_*.sh; do
    [ -f "$script" ] || continue
    echo "== $(basename "$script")"
    . "$script"
done

wine_summary
