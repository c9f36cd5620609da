#!/usr/bin/env bash
# The demo: Aviaro.exe started as the simulator starts it ("-run"), connected to
# the simulator stand-in, with tracing on. Prints what the stand-in saw and the
# add-on's trace, then registers the media player plug-in Tunelet.dll with
# regsvr32 and shows its registry entries.
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

# The joystick display: the six text pages (and COM/NAV for radio set 2) on one
# virtual Tarvex device behind the device-library stand-in and its service.
echo
echo "== the joystick display: the pilot presses buttons (tools/demo/tarvex-device.txt), the"
echo "   stand-in's aircraft answers with new data (tools/demo/tarvex-sim.txt)"
. "$root/tests/wine/service.sh"
t=$(case_dir demo-tarvex)
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" "$t/"
cp "$here/tarvex-aviaro.xml" "$t/Aviaro.xml"
lumiray_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_run "$t/reg.txt" reg add "$lumiray_key" /v LumirayX86 /t REG_SZ /d "$(win_path "$t")\\Lumiray.dll" /f
lumirayd_install && lumirayd_start
(cd "$t" && AVIARO_SIM_SCRIPT="$(win_path "$here/tarvex-sim.txt")" \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$here/tarvex-device.txt")" \
    AVIARO_LUMIRAY_RECORD="$(win_path "$t/lumiray-record.txt")" \
    wine_run "$t/out.txt" "$t/Aviaro.exe" -run)
tarvex_code=$?
lumirayd_stop_and_remove >/dev/null
wine_run "$t/reg.txt" reg delete "$lumiray_key" /v LumirayX86 /f
echo "what the device shows after each step (between the bars; 16 columns):"
awk -f "$here/tarvex_screen.awk" "$t/lumiray-record.txt"
echo "== exit code: $tarvex_code"

# The USB panels: the shipped application with simulated multi, radio, switch
# and backlit annunciator units behind the Windows HID code, a scripted pilot
# at their knobs, buttons and switches, the stand-in's aircraft answering
# (tools/panel_demo/panel_demo.cpp).
echo
echo "== the multi panel: what its two displays and eight lamps show as the pilot turns and presses"
m=$(case_dir demo-multi)
(cd "$m" && wine_run "$m/out.txt" "$WINE_BUILD/bin/panel_demo.exe")
multi_code=$?
tr -d '\r' <"$m/out.txt"
echo "== exit code: $multi_code"

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

# A gauge delivered as a .cab package (examples/gauges/Heading, packed with gcab here)
# on a virtual Mira of the device-library stand-in: the simulator stand-in
# turns the heading (tools/demo/gauge-sim.txt), the stand-in dumps the Mira's
# screen after each change (tools/demo/gauge-device.txt), and each dump is
# copied to a numbered PNG file.
echo
echo "== the Mira: a gauge from a .cab package as the simulator turns the heading"
c=$(case_dir demo-mira)
mira_frames="$WINE_BUILD/demo-gauge"
rm -rf "$mira_frames"
mkdir -p "$mira_frames" "$c/Packages" "$c/dump"
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" "$c/"
cp "$here/gauge-aviaro.xml" "$c/Aviaro.xml"
(cd "$root/examples/gauges" && gcab -c -z "$c/Packages/heading.cab" Heading/gauge.xml Heading/1024/bg.bmp \
    Heading/1024/needle.bmp) >"$c/gcab.txt" 2>&1
mira_code=$?
wine_run "$c/reg.txt" reg add "$lumiray_key" /v LumirayX86 /t REG_SZ /d "$(win_path "$c")\\Lumiray.dll" /f
lumirayd_install && lumirayd_start
(cd "$c" && AVIARO_SIM_SCRIPT="$(win_path "$here/gauge-sim.txt")" \
    AVIARO_SIM_RECORD="$(win_path "$c/sim-record.txt")" \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$here/gauge-device.txt")" \
    AVIARO_LUMIRAY_RECORD="$(win_path "$c/lumiray-record.txt")" \
    AVIARO_LUMIRAY_DUMP="$(win_path "$c/dump")" \
    wine_run "$c/out.txt" "$c/Aviaro.exe" -run) &
aviaro_pid=$!
# A dump writes mira-1.png, then mira-1.txt: once the text is there the image
# is whole. The text is removed after the copy so that the next dump shows.
# The four dumps of the script are taken; the one at the library's end is not.
mira_steps=("the flight starts, heading 0" "the simulator turns the heading to 90"
    "the simulator turns the heading to 225" "the simulator turns the heading to 300")
mira_count=0
while [ "$mira_count" -lt "${#mira_steps[@]}" ]; do
    if [ -f "$c/dump/mira-1.txt" ]; then
        mira_count=$((mira_count + 1))
        cp "$c/dump/mira-1.png" "$mira_frames/frame-$mira_count.png"
        rm -f "$c/dump/mira-1.txt"
        echo "frame $mira_count, ${mira_steps[$((mira_count - 1))]}: $mira_frames/frame-$mira_count.png"
    elif ! kill -0 "$aviaro_pid" 2>/dev/null; then
        break
    else
        sleep 0.05
    fi
done
wait "$aviaro_pid" || mira_code=1
lumirayd_stop_and_remove >/dev/null
wine_run "$c/reg.txt" reg delete "$lumiray_key" /v LumirayX86 /f
[ "$mira_count" -eq "${#mira_steps[@]}" ] || mira_code=1
mira_distinct=$(md5sum "$mira_frames"/frame-*.png 2>/dev/null | cut -d" " -f1 | sort -u | wc -l)
echo "the gauge from heading.cab showed $mira_distinct different frames out of $mira_count, written as PNG files to $mira_frames"
echo "== exit code: $mira_code"

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
[ "$code" -eq 0 ] && [ "$tarvex_code" -eq 0 ] && [ "$multi_code" -eq 0 ] && [ "$gauge_code" -eq 0 ] && [ "$mira_code" -eq 0 ] && [ "$tunelet_code" -eq 0 ] && [ "$tunelet_u_code" -eq 0 ]
