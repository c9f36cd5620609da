# The real Aviaro.exe with simulated panels: HidStandIn.dll beside it puts a
# multi and a switch panel behind the HID code, a scripted pilot turns the
# altitude knob and moves switches, and the record shows what the units
# displayed while the simulator stand-in records the events they sent.
if [ "$WINEARCH" = win32 ]; then

hid_key='HKLM\SOFTWARE\Orlend\Lumiray\Debug'
hid_run() {  # hid_run DIR WORKDIR: Aviaro.exe -run in DIR, started from WORKDIR
    wine_run "$1/reg.txt" reg add "$hid_key" /v Aviaro /t REG_SZ /d "$(win_path "$1")\\trace.txt" /f
    (cd "$2" && AVIARO_SIM_SCRIPT="$(win_path "$1/sim.txt")" AVIARO_SIM_RECORD="$(win_path "$1/sim-record.txt")" \
        AVIARO_HID_SCRIPT="$(win_path "$1/hid.txt")" AVIARO_HID_RECORD="$(win_path "$1/hid-record.txt")" \
        wine_run "$1/out.txt" "$1/Aviaro.exe" -run)
    local code=$?
    wine_run "$1/reg.txt" reg delete "$hid_key" /f
    return $code
}
hid_case() {  # hid_case NAME: a folder with the program, the simulator stand-in and both scripts
    local d
    d=$(case_dir "$1")
    cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$d/"
    cat >"$d/sim.txt" <<'SIM'
init "AVIONICS MASTER SWITCH" 1
init "ELECTRICAL MASTER BATTERY" 1
init "AUTOPILOT ALTITUDE LOCK VAR" 12300
init "AUTOPILOT VERTICAL HOLD VAR" -700
init "AUTOPILOT MASTER" 1
init "IS GEAR RETRACTABLE" 1
init "GEAR CENTER POSITION" 1
init "GEAR LEFT POSITION" 1
init "GEAR RIGHT POSITION" 0.5
effect AP_ALT_VAR_INC add "AUTOPILOT ALTITUDE LOCK VAR" 100
effect AP_ALT_VAR_DEC add "AUTOPILOT ALTITUDE LOCK VAR" -100
effect GEAR_UP set "GEAR CENTER POSITION" 0.5
effect GEAR_UP set "GEAR LEFT POSITION" 0
SimStart
at 6000; SimStop; quit
SIM
    # Steps 100 ms apart; the multi panel has no knob filter. A line with no
    # unit it knows, and a turn without a sign, are recorded and skipped.
    cat >"$d/hid.txt" <<'HID'
# the two units, present at start
unit multi HS-0001
unit switch HS-0003
unit radio
wait multi; wait switch
at 1500; turn multi knob +4 100
at 2500; turn multi knob -1; set switch beacon on; set switch gear up
turn multi knob 3
HID
    echo "$d"
}

# With the stand-in: the hook's trace line, the pilot's record, the displays.
d=$(hid_case hid-standin)
cp "$WINE_BUILD/bin/HidStandIn.dll" "$d/"
hid_run "$d" "$d"
check_eq "hid stand-in: -run exits 0" 0 $?
tr -d '\r' <"$d/trace.txt" >"$d/trace-lf.txt"
check_contains "hid stand-in: the hook is traced" "$d/trace-lf.txt" \
    "  HidStandIn - simulated HID panels from $(win_path "$d")\\HidStandIn.dll"
# The record without its times, one unit's lines (and the pilot's on it) at a
# time: the two units are written to by threads of their own.
cut -d' ' -f2- "$d/hid-record.txt" >"$d/hid-lines.txt"
cat >"$d/expected.txt" <<'EXPECTED'
script line 4 ignored: unit radio
script line 8 ignored: turn multi knob 3
multi [     |     ] .. ... ... ... ... .. ... ..
multi [12300| -700] AP ... ... ... ... .. ... ..
pilot multi turn knob +4 100
multi [12700| -700] AP ... ... ... ... .. ... ..
pilot multi turn knob -1
multi [12600| -700] AP ... ... ... ... .. ... ..
multi [_____|_____] .. ... ... ... ... .. ... ..
switch gear nose off left off right off
switch gear nose green left green right red
pilot switch set beacon on
pilot switch set gear up
switch gear nose red left off right red
switch gear nose off left off right off
EXPECTED
# Steps may come back one by one or together: of the altitudes shown in a row
# only the last is pinned.
{
    grep '^script' "$d/hid-lines.txt"
    grep -e '^multi' -e '^pilot multi' "$d/hid-lines.txt" |
        awk '/^multi \[12[0-9]00\|/ { held = $0; next }
             { if (held != "") print held; held = ""; print }
             END { if (held != "") print held }'
    grep -e '^switch' -e '^pilot switch' "$d/hid-lines.txt"
} >"$d/hid-pinned.txt"
check_file_eq "hid stand-in: pilot lines and what the units showed, in order" \
    "$d/expected.txt" "$d/hid-pinned.txt"
# What the simulator received: four steps up, one down, the beacon and the gear.
event_id() { sed -n "s/^SimConnect_MapClientEventToSimEvent id=\([0-9]*\) name=\"$1\" .*/\1/p" "$d/sim-record.txt"; }
transmits() { grep -c "^SimConnect_TransmitClientEvent object=0 id=$(event_id "$1") data=0 " "$d/sim-record.txt"; }
check_eq "hid stand-in: events ALT INC, ALT DEC, BEACON, GEAR_UP, GEAR_DOWN" "4 1 1 1 0" \
    "$(transmits AP_ALT_VAR_INC) $(transmits AP_ALT_VAR_DEC) $(transmits TOGGLE_BEACON_LIGHTS) $(transmits GEAR_UP) $(transmits GEAR_DOWN)"

# Two radio panels and an annunciator: unit names, the radio and lamp digits,
# a selector set before Aviaro opens the unit, and script lines that are skipped.
d3=$(case_dir hid-standin-radios)
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/HidStandIn.dll" "$d3/"
cat >"$d3/sim.txt" <<'SIM'
init "AVIONICS MASTER SWITCH" 1
init "ELECTRICAL MASTER BATTERY" 1
init "COM ACTIVE FREQUENCY:1" 0x2345
init "COM STANDBY FREQUENCY:1" 0x3170
init "NAV ACTIVE FREQUENCY:1" 0x1390
init "NAV STANDBY FREQUENCY:1" 0x1165
init "TRANSPONDER CODE:1" 0x4725
init "GEAR TOTAL PCT EXTENDED" 1
init "LIGHT BEACON" 1
init "BRAKE PARKING INDICATOR" 1
effect COM_RADIO_FRACT_INC bcd "COM STANDBY FREQUENCY:1" 5
effect COM_STBY_RADIO_SWAP swap "COM ACTIVE FREQUENCY:1" "COM STANDBY FREQUENCY:1"
effect XPNDR_1_INC nibble "TRANSPONDER CODE:1" 0 1 8
SimStart
at 4000; SimStop; quit
SIM
cat >"$d3/hid.txt" <<'HID'
unit radio R-1
unit backlit TL-0042
unit radio R-2
set radio-2 lower xpdr
wait radio; wait radio-2
wait backlit
at 12 turn radio upper-inner +1
turn radio knob +1
turn radio upper-inner +1001
set switch battery on
at 1000; turn radio upper-inner +2
at 1600; press radio upper-swap
at 2200; turn radio-2 lower-inner +1
HID
programming="$WINEPREFIX/drive_c/users/Public/Documents/Plotwise Profiles"
mkdir -p "$programming"
cat >"$programming/TallyProgramming.xml" <<'XML'
<Tally><TallyProgramming Id="TL-0042">
<Lense><Id>GearDown</Id><Colour>Green</Colour><Assignment>5</Assignment></Lense>
<Lense><Id>BeaconLight</Id><Colour>Red</Colour><Assignment>12</Assignment></Lense>
<Lense><Id>ParkingBrakes</Id><Colour>Amber</Colour><Assignment>23</Assignment></Lense>
</TallyProgramming></Tally>
XML
(cd "$d3" && AVIARO_SIM_SCRIPT="$(win_path "$d3/sim.txt")" AVIARO_HID_SCRIPT="$(win_path "$d3/hid.txt")" \
    AVIARO_HID_RECORD="$(win_path "$d3/hid-record.txt")" wine_run "$d3/out.txt" "$d3/Aviaro.exe" -run)
check_eq "hid stand-in radios: -run exits 0" 0 $?
rm -f "$programming/TallyProgramming.xml"
cut -d' ' -f2- "$d3/hid-record.txt" >"$d3/hid-lines.txt"
while IFS= read -r line; do check_contains "hid stand-in radios: $line" "$d3/hid-lines.txt" "$line"; done <<'LINES'
script line 6 ignored: wait backlit
script line 7 ignored: at 12 turn radio upper-inner +1
script line 8 ignored: turn radio knob +1
script line 9 ignored: turn radio upper-inner +1001
script line 10 ignored: set switch battery on
pilot radio-2 set lower xpdr
radio [123.45|131.70] [113.90|111.65]
radio-2 [123.45|131.70] [      | 4725 ]
pilot radio turn upper-inner +2
radio [123.45|131.80] [113.90|111.65]
pilot radio press upper-swap
radio [131.80|123.45] [113.90|111.65]
pilot radio-2 turn lower-inner +1
radio-2 [131.80|123.45] [      | 4726 ]
backlit lens 5=GREEN lens 12=RED lens 23=AMBER
LINES
check_eq "hid stand-in radios: the last picture of each unit as Aviaro lets go" \
    "radio [      |      ] [      |      ]|radio-2 [      |      ] [      |      ]|backlit dark" \
    "$(for u in radio radio-2 backlit; do grep "^$u " "$d3/hid-lines.txt" | tail -1; done | paste -sd'|')"

# Without it beside the program (only in the working folder): no hook, no record.
d2=$(hid_case hid-standin-absent)
mkdir -p "$d2/work"
cp "$WINE_BUILD/bin/HidStandIn.dll" "$d2/work/"
hid_run "$d2" "$d2/work"
check_eq "hid stand-in absent: -run exits 0" 0 $?
check_eq "hid stand-in absent: no trace line, no record, no events from panels" "0 absent 0" \
    "$(grep -c HidStandIn "$d2/trace.txt") $([ -e "$d2/hid-record.txt" ] && echo present || echo absent) $(grep -c '^SimConnect_TransmitClientEvent' "$d2/sim-record.txt")"

fi
