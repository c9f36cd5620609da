#!/usr/bin/env bash
# The demo: Aviaro.exe started as the simulator starts it ("-run"), connected to
# the simulator stand-in, with tracing on. Prints what the stand-in saw and the
# add-on's trace.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/win32}
. "$root/tests/wine/lib.sh"
wine_init "$build"
trap wine_stop EXIT

d=$(case_dir demo)
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$d/"
key='HKLM\SOFTWARE\Orlend\Lumiray\Debug'
wine_run "$d/reg.txt" reg add "$key" /v Aviaro /t REG_SZ /d "$(win_path "$d")\\trace.txt" /f

echo "== Aviaro.exe -run against the simulator stand-in (script: tools/demo/session.txt)"
(cd "$d" && AVIARO_SIM_SCRIPT="$here/session.txt" AVIARO_SIM_RECORD="$d/record.txt" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
code=$?
wine_run "$d/reg.txt" reg delete "$key" /f

echo
echo "== what the simulator saw"
cat "$d/record.txt"
echo
echo "== the add-on's trace file"
tr -d '\r' <"$d/trace.txt"
echo
echo "== exit code: $code"
[ "$code" -eq 0 ]
