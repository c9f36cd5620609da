# The real Aviaro.exe with simulated panels, beyond what the demo flight pins
# (tests/wine/check_demo.sh: every kind of panel, knobs, switches and lamps):
# two units of one kind, a turn down, a selector set before Aviaro opens the
# unit, the script lines the stand-in skips, the hook's trace line and every
# unit let go dark; then the stand-in only in the working folder, and one that
# cannot be loaded: no hook, no record, no events from panels.
hid_key='HKLM\SOFTWARE\Orlend\Lumiray\Debug'
hid_run() {  # hid_run DIR WORKDIR: Aviaro.exe -run in DIR, traced, started from WORKDIR
    cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$1/"
    wine_reg_add "$1/reg.txt" "$hid_key" Aviaro "$(win_path "$1")\\trace.txt"
    (cd "$2" && AVIARO_SIM_SCRIPT="$(win_path "$hid_scripts/sim.txt")" AVIARO_SIM_RECORD="$(win_path "$1/sim-record.txt")" \
        AVIARO_HID_SCRIPT="$(win_path "$hid_scripts/hid.txt")" AVIARO_HID_RECORD="$(win_path "$1/hid-record.txt")" \
        wine_run "$1/out.txt" "$1/Aviaro.exe" -run)
    check_eq "hid stand-in $(basename "$1"): -run exits 0" 0 $?
    wine_run "$1/reg.txt" reg delete "$hid_key" /f
    tr -d '\r' <"$1/trace.txt" >"$1/trace-lf.txt"
}
hid_scripts=$(case_dir hid-standin-scripts)
cat >"$hid_scripts/sim.txt" <<'SIM'
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
effect XPNDR_1_DEC nibble "TRANSPONDER CODE:1" 0 -1 8
SimStart
at 4000; SimStop; quit
SIM
cat >"$hid_scripts/hid.txt" <<'HID'
unit radio R-1
unit backlit TL-0042
unit radio R-2
unit radio
set radio-2 lower xpdr
wait radio; wait radio-2
wait backlit
at 12 turn radio upper-inner +1
turn radio knob +1
turn radio upper-inner +1001
turn radio upper-inner 3
set switch battery on
at 1000; turn radio upper-inner +2
at 1600; press radio upper-swap
at 2200; turn radio-2 lower-inner -1
HID

d=$(case_dir hid-standin)
cp "$WINE_BUILD/bin/HidStandIn.dll" "$d/"
programming="$WINEPREFIX/drive_c/users/Public/Documents/Plotwise Profiles"
mkdir -p "$programming"
cat >"$programming/TallyProgramming.xml" <<'XML'
<Tally><TallyProgramming Id="TL-0042">
<Lense><Id>GearDown</Id><Colour>Green</Colour><Assignment>5</Assignment></Lense>
<Lense><Id>BeaconLight</Id><Colour>Red</Colour><Assignment>12</Assignment></Lense>
<Lense><Id>ParkingBrakes</Id><Colour>Amber</Colour><Assignment>23</Assignment></Lense>
</TallyProgramming></Tally>
XML
hid_run "$d" "$d"
rm -f "$programming/TallyProgramming.xml"
check_contains "hid stand-in: the hook is traced" "$d/trace-lf.txt" \
    "  HidStandIn - simulated HID panels from $(win_path "$d")\\HidStandIn.dll"
# The record without its times; the skipped lines come first, as the script is read.
cut -d' ' -f2- "$d/hid-record.txt" >"$d/hid-lines.txt"
check_eq "hid stand-in: the script lines skipped" \
    "4: unit radio|7: wait backlit|8: at 12 turn radio upper-inner +1|9: turn radio knob +1|10: turn radio upper-inner +1001|11: turn radio upper-inner 3|12: set switch battery on" \
    "$(sed -n 's/^script line \([0-9]*\) ignored: /\1: /p' "$d/hid-lines.txt" | paste -sd'|')"
while IFS= read -r line; do check_contains "hid stand-in: $line" "$d/hid-lines.txt" "$line"; done <<'LINES'
radio-2 [123.45|131.70] [      | 4725 ]
radio [123.45|131.80] [113.90|111.65]
radio [131.80|123.45] [113.90|111.65]
pilot radio-2 turn lower-inner -1
radio-2 [131.80|123.45] [      | 4724 ]
backlit lens 5=GREEN lens 12=RED lens 23=AMBER
LINES
check_eq "hid stand-in: the last picture of each unit as Aviaro lets go" \
    "radio [      |      ] [      |      ]|radio-2 [      |      ] [      |      ]|backlit dark" \
    "$(for u in radio radio-2 backlit; do grep "^$u " "$d/hid-lines.txt" | tail -1; done | paste -sd'|')"

# Only in the working folder, or not a library: Aviaro uses the system's HID.
d=$(case_dir hid-standin-absent)
mkdir -p "$d/work"
cp "$WINE_BUILD/bin/HidStandIn.dll" "$d/work/"
hid_run "$d" "$d/work"
d2=$(case_dir hid-standin-unusable)
echo "not a library" >"$d2/HidStandIn.dll"
hid_run "$d2" "$d2"
check_eq "hid stand-in absent and unusable: their trace lines, no record, no events from panels" \
    "0 absent 0|1 absent 0" \
    "$(for c in "$d" "$d2"; do echo "$(grep -c HidStandIn "$c/trace-lf.txt") $([ -e "$c/hid-record.txt" ] && echo present || echo absent) $(grep -c '^SimConnect_TransmitClientEvent' "$c/sim-record.txt")"; done | paste -sd'|')"
check_contains "hid stand-in unusable: traced" "$d2/trace-lf.txt" "  HidStandIn - cannot use $(win_path "$d2")\\HidStandIn.dll"
