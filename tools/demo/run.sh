#!/usr/bin/env bash
# The demo: Aviaro.exe started as the simulator starts it ("-run"), connected to
# the simulator stand-in, with tracing on, printing what the stand-in saw and
# the add-on's trace; then a scripted flight of about a minute with a joystick
# display and two instrument panels, printed step by step and replayed in
# build/demo/index.html; the HID panels; the test gauge; last, the media player
# plug-in Tunelet.dll registered with regsvr32.
# Usage: run.sh [BUILD_DIR [PAGE_DIR]] (defaults build/win32, build/demo). Either
# Windows build will do; `make demo` takes the x86-64 one where 32-bit code
# cannot run.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/win32}
# Where the flight's page and frames go.
page_dir=${2:-$root/build/demo}
. "$root/tests/wine/lib.sh"
wine_init "$build"
trap wine_stop EXIT
if [ "$WINE_ARCH_BITS" = 64 ]; then
    why=""
    [ "$CAN_RUN_32" = no ] && why=", as this machine cannot run 32-bit code"
    echo "== the demo with Aviaro.exe for x86-64$why ($WINE_BUILD)"
else
    echo "== the demo with Aviaro.exe for i686 ($WINE_BUILD)"
fi

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

# The flight: Aviaro.exe against the simulator stand-in's aircraft
# (tools/demo/flight-sim.txt) and the device-library stand-in and its service,
# with one joystick display and two instrument panels (tools/demo/flight-device.txt:
# the pilot's presses and page changes), and the four USB panels simulated by
# HidStandIn.dll beside it (tools/demo/flight-hid.txt: the pilot's knobs,
# buttons and switches). The heading gauge comes from a .cab package
# (examples/gauges/Heading, packed with gcab here), the airspeed gauge from a
# plain gauge file (examples/gauges/Airspeed). flight.awk merges the three
# records into steps, each told by what caused it, and make_page.sh writes the
# page that replays them.
echo
echo "== the flight: the joystick display, two instrument panels and the four USB panels, step by step"
echo "   (radio panel: [upper active|standby] [lower active|standby]; backlit: lens=colour)"
. "$root/tests/wine/service.sh"
f=$(case_dir demo-flight)
rm -rf "$page_dir"
mkdir -p "$page_dir/frames" "$f/Packages" "$f/Gauges/Airspeed/1024" "$f/dump"
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" \
    "$WINE_BUILD/bin/HidStandIn.dll" "$f/"
cp "$here/flight-aviaro.xml" "$f/Aviaro.xml"
# The backlit annunciator's lenses, programmed for its serial number.
tally_dir="$WINEPREFIX/drive_c/users/Public/Documents/Plotwise Profiles"
mkdir -p "$tally_dir"
cp "$here/TallyProgramming.xml" "$tally_dir/TallyProgramming.xml"
(cd "$root/examples/gauges" && gcab -c -z "$f/Packages/heading.cab" Heading/gauge.xml Heading/1024/bg.bmp \
    Heading/1024/needle.bmp) >"$f/gcab.txt" 2>&1
flight_code=$?
cp "$root/examples/gauges/Airspeed/gauge.xml" "$f/Gauges/Airspeed/"
cp "$root/examples/gauges/Airspeed/1024/"*.bmp "$f/Gauges/Airspeed/1024/"
lumiray_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_run "$f/reg.txt" reg add "$lumiray_key" /v LumirayX86 /t REG_SZ /d "$(win_path "$f")\\Lumiray.dll" /f
lumirayd_install && lumirayd_start
(cd "$f" && AVIARO_SIM_SCRIPT="$(win_path "$here/flight-sim.txt")" \
    AVIARO_SIM_RECORD="$(win_path "$f/sim-record.txt")" AVIARO_SIM_RECORD_TIME=1 \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$here/flight-device.txt")" \
    AVIARO_LUMIRAY_RECORD="$(win_path "$f/lumiray-record.txt")" AVIARO_LUMIRAY_RECORD_TIME=1 \
    AVIARO_LUMIRAY_DUMP="$(win_path "$f/dump")" \
    AVIARO_HID_SCRIPT="$(win_path "$here/flight-hid.txt")" AVIARO_HID_RECORD="$(win_path "$f/hid-record.txt")" \
    AVIARO_HID_RECORD_TIME=1 \
    wine_run "$f/out.txt" "$f/Aviaro.exe" -run) || flight_code=1
lumirayd_stop_and_remove >/dev/null
wine_run "$f/reg.txt" reg delete "$lumiray_key" /v LumirayX86 /f
rm -f "$tally_dir/TallyProgramming.xml"
# The three stand-ins stamp their lines with the system clock: one line stream
# in time order; at the same millisecond the device library's
# line comes first, then the panels', then the simulator's.
{
    awk '{ t = $1; sub(/^[0-9]+ /, ""); print t " L " $0 }' "$f/lumiray-record.txt"
    awk '{ t = $1; sub(/^[0-9]+ /, ""); print t " H " $0 }' "$f/hid-record.txt"
    awk '{ t = $1; sub(/^[0-9]+ /, ""); print t " S " $0 }' "$f/sim-record.txt"
} | sort -s -n -k1,1 >"$f/merged.txt"
# The annunciator's lenses by name: "0=GearDown 1=GearUnsafe ...".
lenses=$(sed -n 's|.*<Id>\(.*\)</Id>.*<Assignment>\([0-9]*\)</Assignment>.*|\2=\1|p' "$here/TallyProgramming.xml" | tr '\n' ' ')
awk -v js="$f/steps.js" -v lenses="$lenses" -f "$here/flight.awk" "$f/merged.txt"
cp "$f/dump/"frame-*.png "$page_dir/frames/" 2>/dev/null
"$here/make_page.sh" "$f/steps.js" "$page_dir/frames" "$page_dir/index.html" || flight_code=1
echo "the flight replayed: $page_dir/index.html (the frames: $page_dir/frames/)"
echo "== exit code: $flight_code"

# The instrument-panel display's built-in test gauge, drawn by gaugeview.exe as
# the gauge page draws it: its bitmaps are found in the 1024 folder beside the
# device library the registry names (the stand-in, bin/1024).
echo
echo "== the instrument-panel display: the test gauge as the airspeed rises and the pilot turns the knob"
g=$(case_dir demo-gauge)
gauge_frames="$WINE_BUILD/demo-frames"
mkdir -p "$gauge_frames"
gauge_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_run "$g/reg.txt" reg add "$gauge_key" /v LumirayX86 /t REG_SZ /d "$(win_path "$WINE_BUILD/bin")\\Lumiray.dll" /f
gauge_code=0
gauge_count=0
while read -r knots downs; do
    name="test_gauge_${knots}kt_knob${downs}.png"
    if wine_run "$g/gaugeview-$knots.txt" "$WINE_BUILD/bin/gaugeview.exe" --test-gauge \
        --set "A:Airspeed select indicated or true,knots=$knots" --press "down*$downs" \
        --button "1,IAS" --button "2,TAS,700,FFD040" -o "$(win_path "$gauge_frames")\\$name" &&
        [ -s "$gauge_frames/$name" ]; then
        gauge_count=$((gauge_count + 1))
        echo "$knots kt, knob $downs steps down: $gauge_frames/$name"
    else
        gauge_code=1
        echo "$knots kt: no frame"
        tr -d '\r' <"$g/gaugeview-$knots.txt"
    fi
done <<'FRAMES'
0 0
60 5
120 10
200 20
260 30
FRAMES
wine_run "$g/reg.txt" reg delete "$gauge_key" /v LumirayX86 /f
echo "the test gauge drew $gauge_count frames, written as PNG files to $gauge_frames"
echo "== exit code: $gauge_code"

# The media player plug-in, registered as an installer registers it.
echo
echo "== Tunelet.dll, the media player plug-in: regsvr32 writes what the player reads"
p=$(case_dir demo-tunelet)
cp "$WINE_BUILD/bin/Tunelet.dll" "$p/"
tunelet_keys=('HKEY_CLASSES_ROOT\CLSID\{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}'
    'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\MediaPlayer\UIPlugins\{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}')
wine_run "$p/register.txt" regsvr32 /s "$(win_path "$p")\\Tunelet.dll"
tunelet_code=$?
for key in "${tunelet_keys[@]}"; do
    wine_run "$p/query.txt" reg query "$key" /s
    tr -d '\r' <"$p/query.txt" | sed '/^$/d'
done
echo "== regsvr32 /u takes them away again"
wine_run "$p/unregister.txt" regsvr32 /s /u "$(win_path "$p")\\Tunelet.dll"
tunelet_u_code=$?
for key in "${tunelet_keys[@]}"; do
    if wine_run "$p/query.txt" reg query "$key"; then echo "$key: still there"; else echo "$key: removed"; fi
done
echo "== exit codes: $tunelet_code $tunelet_u_code"
[ "$code" -eq 0 ] && [ "$flight_code" -eq 0 ] && [ "$gauge_code" -eq 0 ] && [ "$tunelet_code" -eq 0 ] && [ "$tunelet_u_code" -eq 0 ]
