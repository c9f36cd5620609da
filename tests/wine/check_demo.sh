#!/usr/bin/env bash
# Runs `make demo`'s script and checks what it shows, so that the README's
# demo keeps working: both runs end with 0 and every press comes back from the
# stand-in's aircraft as the lines a pilot would expect.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: check_demo.sh BUILD_DIR}
out="$build/demo-output.txt"
"$here/../../tools/demo/run.sh" "$build" >"$out" 2>&1
code=$?
passed=0
failed=0
expect() {
    if grep -qxF -- "$2" "$out"; then
        passed=$((passed + 1))
        echo "ok   demo: $1"
    else
        failed=$((failed + 1))
        echo "FAIL demo: $1 (no line '$2' in $out)"
    fi
}
if [ "$code" -eq 0 ]; then passed=$((passed + 1)); echo "ok   demo: exits 0"; else failed=$((failed + 1)); echo "FAIL demo: exit $code"; fi
expect "the trace shows the connection" "  CAviaroBase::InitSimConnect - SimConnect_Open returned 00000000"
expect "Up in edit mode raises the COM standby" "|»123.00  111.45 |"
expect "Select on the active frequency swaps it" "| 118.50  111.45 |"
expect "the selected altitude follows the presses" "| ALT    008200«|"
expect "the transponder digit follows the press" "|     2200       |"
expect "the multi panel's knob turns the selected altitude" "altitude selected: 3500 ft, heading bug: 273"
expect "the radio panel tunes COM1, swaps it and sets the transponder" "  radio panel [123.00|118.50] [      | 1212 ]"
expect "the radio panel's knobs reach the aircraft" "COM1 active: 123.00, standby: 118.50, transponder: 1212"
expect "the gear in transit lights the switch panel's red lamps" "  switch panel gear nose red left red right red"
expect "the annunciator shows the gear unsafe and the master caution in amber" \
    "  annunciator GearDown=off GearUnsafe=AMBER GearUp=off BeaconLight=GREEN LandingLights=GREEN ParkingBrakes=off MasterCaution=AMBER MasterWarning=off"
expect "the test gauge's frames are written as PNG files" "the test gauge drew 5 frames, written as PNG files to $(cd "$build" && pwd)/demo-frames"
expect "the Mira shows the gauge from the .cab package, drawn anew at each heading" \
    "the gauge from heading.cab showed 4 different frames out of 4, written as PNG files to $(cd "$build" && pwd)/demo-gauge"
expect "the frame after the simulator's second change is saved as PNG" \
    "frame 3, the simulator turns the heading to 225: $(cd "$build" && pwd)/demo-gauge/frame-3.png"
expect "regsvr32 registers Tunelet.dll apartment-threaded" "    ThreadingModel    REG_SZ    Apartment"
expect "Tunelet.dll is a background plug-in the player starts" "    Capabilities    REG_DWORD    0x40000001"
expect "regsvr32 /u removes the plug-in's key" \
    'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\MediaPlayer\UIPlugins\{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}: removed'
echo "demo: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
