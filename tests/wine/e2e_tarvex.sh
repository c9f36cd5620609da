# The shipped Aviaro.exe with the six text pages (and a second COM/NAV page for
# radio set 2) on one virtual Tarvex device: the device starts on the first
# page, scripted soft-button presses select, edit and transmit, and the
# simulator stand-in's data blocks change the lines the device shows.
if [ -f "$WINE_BUILD/bin/Lumiray.dll" ] && [ -f "$WINE_BUILD/bin/Lumirayd.exe" ]; then
. "$(dirname "${BASH_SOURCE[0]}")/service.sh"
tarvex_awk="$(dirname "${BASH_SOURCE[0]}")/../../tools/demo/tarvex_screen.awk"

d=$(case_dir tarvex-pages)
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" "$d/"
cat >"$d/Aviaro.xml" <<'XML'
<Aviaro>
  <Tarvex>
    <ComNav Radio1="True"/>
    <Adf/>
    <Dme/>
    <Xpndr/>
    <Autopilot/>
    <VorHdg/>
    <ComNav/>
  </Tarvex>
</Aviaro>
XML
# The simulator: COM1 118.50 / 122.00 and NAV1 110.30 / 108.00, later the
# standby raised to 123.00 as the whole-MHz increase would, then squawk 7700.
cat >"$d/sim.txt" <<'SIM'
SimStart
at 1000; data 1 i32:0x1850 i32:0x2200 i32:0x1030 i32:0x0800
at 3500; data 1 i32:0x1850 i32:0x2300 i32:0x1030 i32:0x0800
at 6000; data 4 i32:0x7700
at 8500; SimStop; quit
SIM
# The pilot: Down to the COM standby, Select to edit, Up to raise it; once the
# simulator answers, Select to leave edit mode; on the ADF page Select toggles
# the identification; on the transponder page edit the first digit and raise
# it; end on the radio set 2 page. The library holds its lock while it calls
# back, as a real one may.
cat >"$d/lumiray.txt" <<'DEVICE'
strict
device tarvex
wait text="[118.50]
sleep 300
press 1 4
press 1 1
press 1 2
wait text="»123.00
sleep 300
press 1 1
page 1 2
press 1 1
page 1 4
press 1 1
press 1 2
wait 7700
sleep 300
page 1 7
DEVICE
tarvex_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_reg_add "$d/reg1.txt" "$tarvex_key" LumirayX86 "$(win_path "$d")\\Lumiray.dll"
wine_reg_add "$d/reg2.txt" "$tarvex_key\\Debug" Aviaro "$(win_path "$d")\\trace.txt"
lumirayd_install && lumirayd_start
check_eq "tarvex: the stand-in device service runs" 4 "$(lumirayd_state)"

(cd "$d" && AVIARO_SIM_SCRIPT="$(win_path "$d/sim.txt")" AVIARO_SIM_RECORD="$(win_path "$d/sim-record.txt")" \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/lumiray.txt")" \
    AVIARO_LUMIRAY_RECORD="$(win_path "$d/lumiray-record.txt")" \
    AVIARO_LUMIRAY_DUMP="$(win_path "$d/dump")" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "tarvex: the run ends with 0 at QUIT" 0 $?

if grep -q '^wait timed out' "$d/lumiray-record.txt"; then
    fail "tarvex: every scripted wait was met" "$(grep '^wait timed out' "$d/lumiray-record.txt")"
else
    pass "tarvex: every scripted wait was met"
fi

# What the device showed after each step.
awk -f "$tarvex_awk" "$d/lumiray-record.txt" >"$d/screens.txt"
cat >"$d/expected-screens.txt" <<'SCREENS'
-- device arrives (page 1)
|  COM1    NAV1  |
|[100.00] 100.00 |
| 100.00  100.00 |
-- simulator data (page 1)
|  COM1    NAV1  |
|[118.50] 110.30 |
| 122.00  108.00 |
-- press Down (page 1)
|  COM1    NAV1  |
| 118.50  110.30 |
|>122.00  108.00 |
-- press Select (page 1)
|  COM1    NAV1  |
| 118.50  110.30 |
|»122.00  108.00 |
-- simulator data (page 1)
|  COM1    NAV1  |
| 118.50  110.30 |
|»123.00  108.00 |
-- press Select (page 1)
|  COM1    NAV1  |
| 118.50  110.30 |
|>123.00  108.00 |
-- page 2 (page 2)
| ADF  [OFF] |
| 0000.0 |
| 000.00°|
-- page 4 (page 4)
|   Transponder  |
|     0000       |
|     ^          |
-- press Select (page 4)
|   Transponder  |
|     0000       |
|     -          |
-- simulator data (page 4)
|   Transponder  |
|     7700       |
|     -          |
-- page 7 (page 7)
|  COM2    NAV2  |
|[100.00] 100.00 |
| 100.00  100.00 |
SCREENS
check_file_eq "tarvex: the screens after each step" "$d/expected-screens.txt" "$d/screens.txt"

printf 'page 7\n  COM2    NAV2  \n[100.00] 100.00 \n 100.00  100.00 \n' >"$d/expected-dump.txt"
check_file_eq "tarvex: the device's last screen as the stand-in dumps it" \
    "$d/expected-dump.txt" "$d/dump/tarvex-1.txt"

# The simulator saw the pages' requests, the three transmitted events in the
# pages' groups and the data blocks, in this order.
cat >"$d/expected-sim.txt" <<'SIMLINES'
SimConnect_AddToDataDefinition define=2 datum="com active frequency:1" units="Frequency BCD16" type=1 epsilon=0 datumId=0 -> 00000000
SimConnect_MapClientEventToSimEvent id=5 name="COM_RADIO_WHOLE_INC" -> 00000000
SimConnect_AddClientEventToNotificationGroup group=1 id=5 maskable=0 -> 00000000
SimConnect_SetNotificationGroupPriority group=1 priority=1 -> 00000000
SimConnect_MapClientEventToSimEvent id=19 name="RADIO_ADF_IDENT_TOGGLE" -> 00000000
SimConnect_MapClientEventToSimEvent id=20 name="XPNDR_1000_INC" -> 00000000
SimConnect_AddToDataDefinition define=8 datum="com active frequency:2" units="Frequency BCD16" type=1 epsilon=0 datumId=0 -> 00000000
SimConnect_MapClientEventToSimEvent id=55 name="NAV2_RADIO_SWAP" -> 00000000
SimConnect_SetNotificationGroupPriority group=7 priority=1 -> 00000000
SimConnect_RequestDataOnSimObject request=1 define=2 object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000
SimConnect_RequestDataOnSimObject request=7 define=8 object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000
deliver SIMOBJECT_DATA request=1 size=16
SimConnect_TransmitClientEvent object=0 id=5 data=0 group=1 flags=0 -> 00000000
deliver SIMOBJECT_DATA request=1 size=16
SimConnect_TransmitClientEvent object=0 id=19 data=0 group=2 flags=0 -> 00000000
SimConnect_TransmitClientEvent object=0 id=20 data=0 group=4 flags=0 -> 00000000
deliver SIMOBJECT_DATA request=4 size=4
SIMLINES
if awk 'NR==FNR { want[++n] = $0; next } k < n && $0 == want[k + 1] { k++ } END { exit k == n ? 0 : 1 }' \
    "$d/expected-sim.txt" "$d/sim-record.txt"; then
    pass "tarvex: definitions, events, requests, transmits and data reach the simulator in order"
else
    fail "tarvex: definitions, events, requests, transmits and data in order" "see $d/sim-record.txt"
fi
check_eq "tarvex: every SimConnect call on the dispatch thread" 0 \
    "$(grep -c 'other thread' "$d/sim-record.txt")"
# The pages' 26 datums and 51 events, and the panels': multi 22 and 23,
# radio 27 and 33, switch 27 and 28, backlit 49 and none.
check_eq "tarvex: 151 data definitions, 135 events, 3 transmits" "151 135 3" \
    "$(grep -c '^SimConnect_AddToDataDefinition' "$d/sim-record.txt") $(grep -c '^SimConnect_MapClientEventToSimEvent' "$d/sim-record.txt") $(grep -c '^SimConnect_TransmitClientEvent' "$d/sim-record.txt")"

tr -d '\r' <"$d/trace.txt" >"$d/trace-lf.txt"
check_contains "tarvex: the trace names the COM/NAV page's initialisation" "$d/trace-lf.txt" \
    "  CPage_Tarvex_Com::OnSimInitialize"
check_contains "tarvex: the trace shows the ADF page's activation" "$d/trace-lf.txt" \
    "PAGE_ACTIVATED : CPage_Tarvex_Adf"

lumirayd_stop_and_remove
wine_run "$d/reg3.txt" reg delete "$tarvex_key\\Debug" /v Aviaro /f
wine_run "$d/reg4.txt" reg delete "$tarvex_key" /v LumirayX86 /f
fi
