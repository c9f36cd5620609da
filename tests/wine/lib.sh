# Helpers for the Wine tests. Source it, then call wine_init BUILD_DIR.
#
# Every Wine command's output goes to a file, never a pipe: Wine's helper
# processes inherit descriptors and would keep a pipe open.

WINE_PASSED=${WINE_PASSED:-0}
WINE_FAILED=${WINE_FAILED:-0}

# wine_init BUILD_DIR: a throw-away prefix inside the build folder (32-bit for
# the i686 build, 64-bit otherwise) and one persistent wineserver.
#
# Each prefix runs through the loader that fits it: /usr/bin/wine takes the
# 32-bit loader whenever it is installed, even where 32-bit code cannot run,
# so the 64-bit prefix goes straight to wine64 and never needs the 32-bit part.
# Exports WINE_ARCH_BITS (32 or 64, the build's) and CAN_RUN_32 (yes or no).
wine_init() {
    WINE_BUILD=$(cd "$1" && pwd)
    # Wine keeps state under $HOME; a bare CI environment may not set it.
    if [ -z "${HOME:-}" ]; then
        HOME=$(getent passwd "$(id -u)" | cut -d: -f6)
        export HOME
    fi
    if [ -z "${CAN_RUN_32:-}" ]; then
        CAN_RUN_32=$("$(dirname "${BASH_SOURCE[0]}")/../../tools/scripts/probe32.sh")
    fi
    export CAN_RUN_32
    export WINEDEBUG=-all
    export WINEPREFIX="$WINE_BUILD/wineprefix"
    if grep -q 'i686' "$WINE_BUILD/CMakeCache.txt" 2>/dev/null; then
        export WINE_ARCH_BITS=32
        export WINEARCH=win32
        WINE=/usr/lib/wine/wine
    else
        export WINE_ARCH_BITS=64
        export WINEARCH=win64
        WINE=/usr/lib/wine/wine64
    fi
    [ -x "$WINE" ] || WINE=wine
    export WINELOADER=$WINE
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    WINE_WORK="$WINE_BUILD/wine-work"
    rm -rf "$WINE_WORK"
    mkdir -p "$WINE_WORK"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        rm -rf "$WINEPREFIX"
        "$WINE" wineboot -i >"$WINE_WORK/wineboot.log" 2>&1
        wineserver -w
    fi
    # A new prefix links the user's folders to $HOME: make them real folders.
    local user_dir
    for user_dir in "$WINEPREFIX"/drive_c/users/*/; do
        local f
        for f in Desktop Documents Downloads Music Pictures Videos; do
            if [ -L "$user_dir$f" ]; then
                rm -f "$user_dir$f"
                mkdir -p "$user_dir$f"
            fi
        done
    done
    wineserver -p >/dev/null 2>&1 </dev/null
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}

# wine_run OUTFILE EXE ARGS...: runs a Windows program; returns its exit code (0-255).
wine_run() {
    local out=$1
    shift
    "$WINE" "$@" >"$out" 2>&1 </dev/null
}

# The Windows path of a Unix path. A winepath that prints nothing (seen once on
# a loaded machine) is asked again rather than giving "" to the caller.
win_path() {
    local p try
    for try in 1 2 3; do
        p=$("$WINE" winepath -w "$1" 2>/dev/null)
        [ -n "$p" ] && { echo "$p"; return 0; }
    done
    echo "win_path: winepath gave nothing for $1" >&2
    return 1
}

# wine_reg_add LOG KEY VALUE DATA [reg options...]: sets a REG_SZ value and
# reads it back, asking once more if it is not there; otherwise the test fails
# with what reg printed, so a run is never silently without its setting.
wine_reg_add() {
    local log=$1 key=$2 value=$3 data=$4 try
    local query="${log%.txt}-query.txt"
    shift 4
    for try in 1 2; do
        wine_run "$log" reg add "$key" "$@" /v "$value" /t REG_SZ /d "$data" /f
        wine_run "$query" reg query "$key" "$@" /v "$value"
        if tr -d '\r' <"$query" | grep -qF "$value    REG_SZ    $data"; then return 0; fi
    done
    fail "reg add $key /v $value" "$(cat "$log" "$query")"
    return 1
}

# The prefix user's own folder (the one with AppData/Roaming).
wine_user() {
    local u found=""
    for u in "$WINEPREFIX"/drive_c/users/*; do
        [ -d "$u/AppData/Roaming" ] && found=$u
    done
    echo "$found"
}

# A fresh folder for one test case.
case_dir() {
    local d="$WINE_WORK/$1"
    rm -rf "$d"
    mkdir -p "$d"
    echo "$d"
}

pass() {
    WINE_PASSED=$((WINE_PASSED + 1))
    echo "ok   $1"
}

fail() {
    WINE_FAILED=$((WINE_FAILED + 1))
    echo "FAIL $1"
    shift
    local line
    for line in "$@"; do echo "     $line"; done
}

# check_eq NAME EXPECTED ACTUAL
check_eq() {
    if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected: $2" "actual:   $3"; fi
}

# check_file_eq NAME EXPECTED_FILE ACTUAL_FILE: byte for byte.
check_file_eq() {
    if cmp -s "$2" "$3"; then
        pass "$1"
    else
        fail "$1" "files differ: $2 $3"
        diff <(od -c "$2") <(od -c "$3") | head -20
    fi
}

# check_contains NAME FILE TEXT: a line equal to TEXT is in FILE.
check_contains() {
    if grep -qxF -- "$3" "$2" 2>/dev/null; then pass "$1"; else fail "$1" "no line '$3' in $2"; fi
}

check_absent() {
    if [ ! -e "$2" ]; then pass "$1"; else fail "$1" "$2 exists"; fi
}

wine_summary() {
    echo "wine: $WINE_PASSED passed, $WINE_FAILED failed"
    [ "$WINE_FAILED" -eq 0 ]
}
