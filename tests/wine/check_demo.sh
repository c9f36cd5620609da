#!/usr/bin/env bash
# Runs `make demo`'s script and checks what it shows, so that the README's
# demo keeps working: every run ends with 0, every step of the flight comes
# back from the stand-in's aircraft as the lines, digits, lamps and frames a
# pilot would expect, told by the action that caused it, and the replay page
# renders in a headless browser without a script error, at its last step.
# Usage: check_demo.sh BUILD_DIR [PAGE_DIR] (the page's folder, build/demo by default).
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: check_demo.sh BUILD_DIR [PAGE_DIR]}
page_dir=${2:-$here/../../build/demo}
out="$build/demo-output.txt"
"$here/../../tools/demo/run.sh" "$build" "$page_dir" >"$out" 2>&1
code=$?
page_dir=$(cd "$page_dir" && pwd)
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok   demo: $1"; }
bad() { failed=$((failed + 1)); echo "FAIL demo: $1 ($2)"; }
expect() {
    if grep -qxF -- "$2" "$out"; then ok "$1"; else bad "$1" "no line '$2' in $out"; fi
}
# expect_step NAME CAUSE LINE: a step of the flight told by CAUSE (its time
# aside) shows LINE.
expect_step() {
    if awk -v c="$2" -v l="$3" '
        /^-- [0-9]+\.[0-9] s: / { s = $0; sub(/^-- [0-9]+\.[0-9] s: /, "", s); in_step = s == c; next }
        /^$/ { in_step = 0 }
        in_step && $0 == l { found = 1 }
        END { exit !found }' "$out"; then
        ok "$1"
    else
        bad "$1" "no step '$2' showing '$3' in $out"
    fi
}
if [ "$code" -eq 0 ]; then ok "exits 0"; else bad "exits 0" "exit $code"; fi
# The first line names the build that runs, and why where 32-bit code cannot run.
if grep -q i686 "$build/CMakeCache.txt"; then
    first="== the demo with Aviaro.exe for i686 ($(cd "$build" && pwd))"
elif [ "${CAN_RUN_32:-$("$here/../../tools/scripts/probe32.sh")}" = no ]; then
    first="== the demo with Aviaro.exe for x86-64, as this machine cannot run 32-bit code ($(cd "$build" && pwd))"
else
    first="== the demo with Aviaro.exe for x86-64 ($(cd "$build" && pwd))"
fi
if [ "$(head -1 "$out")" = "$first" ]; then ok "the first line names the build"; else bad "the first line names the build" "'$(head -1 "$out")'"; fi
expect "the trace shows the connection" "  CAviaroBase::InitSimConnect - SimConnect_Open returned 00000000"
# The joystick display's pages, and the same radios on the radio panel.
expect_step "Up in edit mode raises the COM standby" \
    "the pilot presses Up on the joystick display; the add-on sends COM_RADIO_WHOLE_INC" "|»123.00  111.45 |"
swap="the pilot presses Select on the joystick display; the add-on sends COM_STBY_RADIO_SWAP"
expect_step "Select on the active frequency swaps it" "$swap" "|[123.00] 110.30 |"
expect_step "the swap on the joystick display shows on the radio panel" "$swap" \
    "radio panel [123.00|118.50] [110.30|111.45]"
alt="the pilot presses Up on the joystick display; the add-on sends AP_ALT_VAR_INC"
expect_step "the selected altitude follows the presses" "$alt" "| ALT    008200«|"
expect_step "the multi panel shows the altitude the joystick display selected" "$alt" \
    "multi panel [08200| -500] AP HDG ... ... ALT .. ... .."
expect_step "the transponder digit follows the press" \
    "the pilot presses Up on the joystick display; the add-on sends XPNDR_1000_INC" "|     2200       |"
# The two instrument panels: exact frames, each after the change that caused it.
expect_step "the heading gauge from the .cab package turns to 90" \
    "the simulator sets airspeed indicated 140, heading indicator 90" "Mira 2 (page 8) shows frame DF780E9E"
expect_step "the heading gauge turns to 225" "the simulator sets heading indicator 225" \
    "Mira 2 (page 8) shows frame B226DCA3"
expect_step "the heading gauge turns to 300" "the simulator sets heading indicator 300" \
    "Mira 2 (page 8) shows frame 7214FC69"
expect_step "the heading gauge's HDG button reaches the aircraft, whose heading hold goes out on the multi panel" \
    "the pilot presses soft button 1 on Mira 2; the add-on sends AP_HDG_HOLD" \
    "multi panel [08200| -500] AP ... ... ... ALT .. ... .."
expect_step "the airspeed gauge's knob takes the flaps up" \
    "the pilot presses the knob up on Mira 3; the add-on sends FLAPS_DECR" "Mira 3 (page 9) shows frame 68E8031D"
expect_step "the airspeed gauge's knob puts the flaps down" \
    "the pilot presses the knob down on Mira 3; the add-on sends FLAPS_INCR" "Mira 3 (page 9) shows frame EDA46536"
expect_step "the airspeed gauge follows the airspeed" "the simulator sets airspeed indicated 70" \
    "Mira 3 (page 9) shows frame F1D8E302"
# The four USB panels.
gear_up="the pilot on the switch panel: set gear up; the add-on sends TOGGLE_ALTERNATOR2, TOGGLE_ALTERNATOR3, TOGGLE_ALTERNATOR4, GEAR_UP"
expect_step "the gear lever raises the gear: the airspeed gauge's lamp turns red" "$gear_up" \
    "Mira 3 (page 9) shows frame 902EA52C"
expect_step "the gear up lights the annunciator's GearUp lens" "$gear_up" "backlit panel GearUp=GREEN"
expect_step "the multi panel's knob turns the selected altitude" \
    "the pilot on the multi panel: turn knob +5; the add-on sends AP_ALT_VAR_INC x5" \
    "multi panel [08700| -500] AP ... ... ... ALT .. ... .."
expect_step "the radio panel's knobs tune COM1's standby" \
    "the pilot on the radio panel: turn upper-outer +1; the add-on sends COM_RADIO_WHOLE_INC" \
    "radio panel [123.00|119.60] [110.30|111.45]"
expect_step "the radio panel swaps COM1" \
    "the pilot on the radio panel: press upper-swap; the add-on sends COM_STBY_RADIO_SWAP" \
    "radio panel [119.60|123.00] [110.30|111.45]"
xpdr="the pilot on the radio panel: turn lower-inner +2 300; the add-on sends XPNDR_1_INC x2"
expect_step "the radio panel sets the transponder" "$xpdr" "radio panel [119.60|123.00] [      | 2212 ]"
expect_step "the joystick display's transponder page follows the radio panel" "$xpdr" "|     2212       |"
gear_down="the pilot on the switch panel: set gear down; the add-on sends GEAR_DOWN"
expect_step "the gear in transit lights the switch panel's red lamps" "$gear_down" \
    "switch panel gear nose red left red right red"
expect_step "the annunciator shows the gear unsafe and the master caution in amber" "$gear_down" \
    "backlit panel GearUnsafe=AMBER BeaconLight=GREEN LandingLights=GREEN MasterCaution=AMBER"
locked="the simulator sets gear center position 1, gear left position 1, gear right position 1, gear total pct extended 1"
expect_step "the gear locked down turns the switch panel's lamps green" "$locked" \
    "switch panel gear nose green left green right green"
expect_step "the gear locked down: the annunciator's GearDown lens" "$locked" \
    "backlit panel GearDown=GREEN BeaconLight=GREEN LandingLights=GREEN"
expect "the test gauge's frames are written as PNG files" "the test gauge drew 5 frames, written as PNG files to $(cd "$build" && pwd)/demo-frames"
# Every event of the flight (joystick display, gauge buttons and knobs, the
# panels' reader threads) reached SimConnect from the dispatch thread: the
# stand-in marks a call made on any other.
sim_record="$build/wine-work/demo-flight/sim-record.txt"
transmits=$(grep -c 'SimConnect_TransmitClientEvent' "$sim_record" 2>/dev/null)
others=$(grep -c 'other thread' "$sim_record" 2>/dev/null)
if [ "${transmits:-0}" -gt 20 ] && [ "${others:-1}" -eq 0 ]; then
    ok "all $transmits events of the flight went out on the dispatch thread"
else
    bad "the flight's events go out on the dispatch thread" "${transmits:-0} sent, ${others:-?} from another thread in $sim_record"
fi
# The replay page in a headless browser: no script error, the last step shown
# with the last frames (the very PNG files) and the last lines.
if ! command -v chromium >/dev/null; then
    bad "the replay page renders" "chromium is not installed (tools/scripts/install-deps.sh)"
elif ! timeout 120 chromium --headless --no-sandbox --disable-gpu --virtual-time-budget=60000 \
        --dump-dom "file://$page_dir/index.html" >"$build/demo-page-dom.html" 2>"$build/demo-page-chromium.txt"; then
    bad "the replay page renders" "chromium failed: $build/demo-page-chromium.txt"
else
    dom="$build/demo-page-dom.html"
    if grep -q '<body data-step="last">' "$dom"; then ok "the page plays to its last step"; else bad "the page plays to its last step" "no data-step=\"last\" in $dom"; fi
    if grep -q 'class="script-error"' "$dom"; then bad "the page runs without a script error" "$(grep -o 'class="script-error">[^<]*' "$dom" | head -1)"; else ok "the page runs without a script error"; fi
    for shown in "2 7214FC69" "3 F1D8E302"; do
        set -- $shown
        if grep -qF "<span class=\"crc\" id=\"mira$1-crc\">$2</span>" "$dom" &&
            grep -qF -f <(printf 'id="mira%s-img" alt="Mira %s" src="data:image/png;base64,%s"\n' "$1" "$1" \
                "$(base64 -w0 "$page_dir/frames/frame-$2.png")") "$dom"; then
            ok "the page shows Mira $1's last frame $2"
        else
            bad "the page shows Mira $1's last frame $2" "see $dom"
        fi
    done
    if grep -qxF "|     2212       |" "$dom"; then ok "the page shows the joystick display's last lines"; else bad "the page shows the joystick display's last lines" "see $dom"; fi
    if grep -qxF "switch  gear nose off left off right off" "$dom"; then ok "the page shows the panels let go at the end"; else bad "the page shows the panels let go at the end" "see $dom"; fi
fi
echo "demo: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
