# The shipped Aviaro.exe against the simulator stand-in: the connection run,
# its exit codes and its trace file.
if [ "$WINEARCH" = win32 ]; then

conn_setup() {
    local d
    d=$(case_dir "$1")
    cp "$WINE_BUILD/bin/Aviaro.exe" "$d/"
    if [ "${2:-dll}" = dll ]; then cp "$WINE_BUILD/bin/SimConnect.dll" "$d/"; fi
    echo "$d"
}

debug_key='HKLM\SOFTWARE\Orlend\Lumiray\Debug'

# What the multi panel asks of the simulator at start: its record (definition
# DEFINE), its 23 events from id FIRST in group GROUP, its group's priority.
multi_panel_init() {
    local define=$1 id=$2 group=$3 n=0 line name units type
    while IFS='|' read -r name units type; do
        echo "SimConnect_AddToDataDefinition define=$define datum=\"$name\" units=\"$units\" type=$type epsilon=0 datumId=$n -> 00000000"
        n=$((n + 1))
    done <<'DATUMS'
AVIONICS MASTER SWITCH|Bool|1
ELECTRICAL MASTER BATTERY|Bool|1
GENERAL ENG MASTER ALTERNATOR:1|Bool|1
GENERAL ENG MASTER ALTERNATOR:2|Bool|1
GENERAL ENG MASTER ALTERNATOR:3|Bool|1
GENERAL ENG MASTER ALTERNATOR:4|Bool|1
AUTOPILOT ALTITUDE LOCK VAR|Feet|3
AUTOPILOT VERTICAL HOLD VAR|Feet/Minute|3
AUTOPILOT HEADING LOCK DIR|Degrees|3
AUTOPILOT AIRSPEED HOLD VAR|Knots|3
NAV OBS:1|Degrees|3
AUTOPILOT THROTTLE ARM|BOOL|1
AUTOPILOT MASTER|BOOL|1
AUTOPILOT HEADING LOCK|BOOL|1
AUTOPILOT NAV1 LOCK|BOOL|1
AUTOPILOT APPROACH HOLD|BOOL|1
AUTOPILOT BACKCOURSE HOLD|BOOL|1
AUTOPILOT ALTITUDE LOCK|BOOL|1
AUTOPILOT VERTICAL HOLD|BOOL|1
AUTOPILOT AIRSPEED HOLD|BOOL|1
PARTIAL PANEL ELECTRICAL|ENUM|1
PARTIAL PANEL AVIONICS|ENUM|1
DATUMS
    for name in AP_ALT_VAR_INC AP_ALT_VAR_DEC AP_VS_VAR_INC AP_VS_VAR_DEC AP_SPD_VAR_INC \
        AP_SPD_VAR_DEC HEADING_BUG_INC HEADING_BUG_DEC VOR1_OBI_INC VOR1_OBI_DEC AP_MASTER \
        AP_PANEL_HEADING_HOLD AP_NAV1_HOLD AP_APR_HOLD AP_BC_HOLD AP_PANEL_ALTITUDE_HOLD \
        AP_VS_HOLD AP_PANEL_SPEED_HOLD AUTO_THROTTLE_ARM FLAPS_INCR FLAPS_DECR ELEV_TRIM_UP \
        ELEV_TRIM_DN; do
        echo "SimConnect_MapClientEventToSimEvent id=$id name=\"$name\" -> 00000000"
        echo "SimConnect_AddClientEventToNotificationGroup group=$group id=$id maskable=0 -> 00000000"
        id=$((id + 1))
    done
    echo "SimConnect_SetNotificationGroupPriority group=$group priority=1 -> 00000000"
}

# The record lines of a panel's definition DEFINE from "name|units|type|epsilon"
# lines on standard input, datum ids from 0.
panel_datums() {
    local define=$1 n=0 name units type epsilon
    while IFS='|' read -r name units type epsilon; do
        echo "SimConnect_AddToDataDefinition define=$define datum=\"$name\" units=\"$units\" type=$type epsilon=${epsilon:-0} datumId=$n -> 00000000"
        n=$((n + 1))
    done
}

# The events NAMES... mapped from id FIRST into group GROUP, then its priority.
panel_events() {
    local id=$1 group=$2 name
    shift 2
    for name in "$@"; do
        echo "SimConnect_MapClientEventToSimEvent id=$id name=\"$name\" -> 00000000"
        echo "SimConnect_AddClientEventToNotificationGroup group=$group id=$id maskable=0 -> 00000000"
        id=$((id + 1))
    done
    echo "SimConnect_SetNotificationGroupPriority group=$group priority=1 -> 00000000"
}

# The radio panel: 27 datums, 33 events.
radio_panel_init() {
    panel_datums "$1" <<'DATUMS'
AVIONICS MASTER SWITCH|Bool|1
ELECTRICAL MASTER BATTERY|Bool|1
GENERAL ENG MASTER ALTERNATOR:1|Bool|1
GENERAL ENG MASTER ALTERNATOR:2|Bool|1
GENERAL ENG MASTER ALTERNATOR:3|Bool|1
GENERAL ENG MASTER ALTERNATOR:4|Bool|1
com active frequency:1|Frequency BCD16|1
com standby frequency:1|Frequency BCD16|1
com active frequency:2|Frequency BCD16|1
com standby frequency:2|Frequency BCD16|1
nav active frequency:1|Frequency BCD16|1
nav standby frequency:1|Frequency BCD16|1
nav active frequency:2|Frequency BCD16|1
nav standby frequency:2|Frequency BCD16|1
adf active frequency:1|Frequency ADF BCD32|1
adf standby frequency:1|Frequency ADF BCD32|1
transponder code:1|BCO16|1
nav dme:1|nmiles|3
nav dmespeed:1|Knots|3
PARTIAL PANEL ELECTRICAL|ENUM|1
COM STATUS:1|ENUM|1
COM STATUS:2|ENUM|1
PARTIAL PANEL AVIONICS|ENUM|1
PARTIAL PANEL AVIONICS|ENUM|1
PARTIAL PANEL AVIONICS|ENUM|1
PARTIAL PANEL TRANSPONDER|ENUM|1
PARTIAL PANEL AVIONICS|ENUM|1
DATUMS
    panel_events "$2" "$3" COM_RADIO_WHOLE_INC COM_RADIO_WHOLE_DEC COM_RADIO_FRACT_INC \
        COM_RADIO_FRACT_DEC COM_STBY_RADIO_SWAP COM2_RADIO_WHOLE_INC COM2_RADIO_WHOLE_DEC \
        COM2_RADIO_FRACT_INC COM2_RADIO_FRACT_DEC COM2_RADIO_SWAP NAV1_RADIO_WHOLE_INC \
        NAV1_RADIO_WHOLE_DEC NAV1_RADIO_FRACT_INC NAV1_RADIO_FRACT_DEC NAV1_RADIO_SWAP \
        NAV2_RADIO_WHOLE_INC NAV2_RADIO_WHOLE_DEC NAV2_RADIO_FRACT_INC NAV2_RADIO_FRACT_DEC \
        NAV2_RADIO_SWAP XPNDR_1000_INC XPNDR_1000_DEC XPNDR_100_INC XPNDR_100_DEC XPNDR_10_INC \
        XPNDR_10_DEC XPNDR_1_INC XPNDR_1_DEC ADF1_WHOLE_INC ADF1_WHOLE_DEC ADF1_RADIO_TENTHS_INC \
        ADF1_RADIO_TENTHS_DEC ADF1_RADIO_SWAP
}

# The switch panel: 27 datums, 28 events.
switch_panel_init() {
    panel_datums "$1" <<'DATUMS'
ELECTRICAL MASTER BATTERY|Bool|1
GENERAL ENG MASTER ALTERNATOR:1|Bool|1
GENERAL ENG MASTER ALTERNATOR:2|Bool|1
GENERAL ENG MASTER ALTERNATOR:3|Bool|1
GENERAL ENG MASTER ALTERNATOR:4|Bool|1
AVIONICS MASTER SWITCH|Bool|1
GENERAL ENG FUEL PUMP SWITCH:1|Bool|1
GENERAL ENG FUEL PUMP SWITCH:2|Bool|1
GENERAL ENG FUEL PUMP SWITCH:3|Bool|1
GENERAL ENG FUEL PUMP SWITCH:4|Bool|1
PANEL ANTI ICE SWITCH|Bool|1
PITOT HEAT|Bool|1
RECIP ENG COWL FLAP POSITION:1|Percent|3|0.05
RECIP ENG COWL FLAP POSITION:2|Percent|3|0.05
RECIP ENG COWL FLAP POSITION:3|Percent|3|0.05
RECIP ENG COWL FLAP POSITION:4|Percent|3|0.05
LIGHT PANEL|Bool|1
LIGHT BEACON|Bool|1
LIGHT NAV|Bool|1
LIGHT STROBE|Bool|1
LIGHT TAXI|Bool|1
LIGHT LANDING|Bool|1
GEAR HANDLE POSITION|Bool|1
IS GEAR RETRACTABLE|Bool|1
GEAR CENTER POSITION|Percent Over 100|3
GEAR LEFT POSITION|Percent Over 100|3
GEAR RIGHT POSITION|Percent Over 100|3
DATUMS
    panel_events "$2" "$3" GEAR_UP GEAR_DOWN TOGGLE_MASTER_BATTERY TOGGLE_ALTERNATOR1 \
        TOGGLE_ALTERNATOR2 TOGGLE_ALTERNATOR3 TOGGLE_ALTERNATOR4 TOGGLE_AVIONICS_MASTER \
        TOGGLE_ELECT_FUEL_PUMP1 TOGGLE_ELECT_FUEL_PUMP2 TOGGLE_ELECT_FUEL_PUMP3 \
        TOGGLE_ELECT_FUEL_PUMP4 ANTI_ICE_SET PITOT_HEAT_TOGGLE COWLFLAP1_SET COWLFLAP2_SET \
        COWLFLAP3_SET COWLFLAP4_SET PANEL_LIGHTS_TOGGLE TOGGLE_BEACON_LIGHTS TOGGLE_NAV_LIGHTS \
        STROBES_TOGGLE TOGGLE_TAXI_LIGHTS LANDING_LIGHTS_TOGGLE MAGNETO1_SET MAGNETO2_SET \
        MAGNETO3_SET MAGNETO4_SET
}

# The backlit panel: 49 datums, no events and no group priority.
backlit_panel_init() {
    panel_datums "$1" <<'DATUMS'
PITOT HEAT|Bool|1
STALL WARNING|Bool|1
CANOPY OPEN|Percent Over 100|3
BRAKE PARKING INDICATOR|Bool|1
LIGHT BEACON|Bool|1
LIGHT STROBE|Bool|1
LIGHT LANDING|Bool|1
GEAR TOTAL PCT EXTENDED|Percent Over 100|3
SUCTION PRESSURE|inHg|3
NUMBER OF ENGINES|Number|1
ENGINE TYPE|Enum|1
GENERAL ENG OIL PRESSURE:1|Psi|3
GENERAL ENG OIL PRESSURE:2|Psi|3
GENERAL ENG OIL PRESSURE:3|Psi|3
GENERAL ENG OIL PRESSURE:4|Psi|3
GENERAL ENG OIL TEMPERATURE:1|Celsius|3
GENERAL ENG OIL TEMPERATURE:2|Celsius|3
GENERAL ENG OIL TEMPERATURE:3|Celsius|3
GENERAL ENG OIL TEMPERATURE:4|Celsius|3
GENERAL ENG FUEL PRESSURE:1|Psi|3
GENERAL ENG FUEL PRESSURE:2|Psi|3
GENERAL ENG FUEL PRESSURE:3|Psi|3
GENERAL ENG FUEL PRESSURE:4|Psi|3
ENG ON FIRE:1|Bool|1
ENG ON FIRE:2|Bool|1
ENG ON FIRE:3|Bool|1
ENG ON FIRE:4|Bool|1
ROTOR RPM PCT|Percent Over 100|3
GPS DRIVES NAV1|Bool|1
NAV SOUND:1|Bool|1
NAV SOUND:2|Bool|1
COM TRANSMIT:1|Bool|1
COM TRANSMIT:2|Bool|1
COM RECIEVE ALL|Bool|1
DME SOUND|Bool|1
ADF SOUND:0|Bool|1
ADF SOUND:1|Bool|1
MARKER SOUND|Bool|1
AUTOPILOT MASTER|Bool|1
AUTOPILOT AVAILABLE|Bool|1
FUEL TANK CENTER CAPACITY|Gallons|3
FUEL TANK CENTER QUANTITY|Gallons|3
FUEL LEFT CAPACITY|Gallons|3
FUEL LEFT QUANTITY|Gallons|3
FUEL RIGHT CAPACITY|Gallons|3
FUEL RIGHT QUANTITY|Gallons|3
FUEL TOTAL CAPACITY|Gallons|3
FUEL TOTAL QUANTITY|Gallons|3
FUEL CROSS FEED|Enum|1
DATUMS
}

# The four panels' data requests at a simulation start (definitions 2 to 5).
panel_requests() {
    local define
    for define in 2 3 4 5; do
        echo "SimConnect_RequestDataOnSimObject request=$define define=$define object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000"
    done
}

# A scripted session: start, pause and unpause in one dispatch, a data block, quit.
d=$(conn_setup connection-run)
cat >"$d/script.txt" <<'SCRIPT'
SimStart
Paused; Unpaused
data 7 f64:1.5 i32:3
event 9
SimStop; quit
SCRIPT
(cd "$d" && AVIARO_SIM_SCRIPT="$d/script.txt" AVIARO_SIM_RECORD="$d/record.txt" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "-run serves the script and exits 0" 0 $?
# Without Aviaro.xml there are no pages: the panels take definitions 2 to 5,
# the first client events (multi 5-27, radio 28-60, switch 61-88) and groups
# 0 to 2 (the backlit panel maps none), and request their data at every start.
{
cat <<'EXPECTED'
SimConnect_Open name="Orlend Flight Sim X Plugin" window=0 userEvent=0 event=set config=0 -> 00000000
SimConnect_SubscribeToSystemEvent id=1 name="SimStart" -> 00000000
SimConnect_SubscribeToSystemEvent id=2 name="SimStop" -> 00000000
SimConnect_SubscribeToSystemEvent id=3 name="Paused" -> 00000000
SimConnect_SubscribeToSystemEvent id=4 name="Unpaused" -> 00000000
EXPECTED
multi_panel_init 2 5 0
radio_panel_init 3 28 1
switch_panel_init 4 61 2
backlit_panel_init 5
cat <<'EXPECTED'
SimConnect_CallDispatch -> 00000000
deliver EVENT id=1
EXPECTED
panel_requests
cat <<'EXPECTED'
SimConnect_CallDispatch -> 00000000
deliver EVENT id=3
deliver EVENT id=4
EXPECTED
panel_requests
cat <<'EXPECTED'
SimConnect_CallDispatch -> 00000000
deliver SIMOBJECT_DATA request=7 size=12
SimConnect_CallDispatch -> 00000000
deliver EVENT id=9
SimConnect_CallDispatch -> 00000000
deliver EVENT id=2
deliver QUIT
SimConnect_Close -> 00000000
EXPECTED
} >"$d/expected.txt"
check_file_eq "-run: opens, subscribes 1-4 in order, one dispatch per wake, closes" \
    "$d/expected.txt" "$d/record.txt"
check_absent "-run without the Debug value writes no trace file" "$d/trace.txt"

# Without SimConnect.dll the run cannot start.
d=$(conn_setup connection-no-dll nodll)
(cd "$d" && wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "-run without SimConnect.dll exits with -1" 255 $?

# Tracing on through the registry.
d=$(conn_setup connection-trace)
printf 'quit\n' >"$d/script.txt"
wine_run "$d/reg.txt" reg add "$debug_key" /v Aviaro /t REG_SZ /d "$(win_path "$d")\\trace.txt" /f
(cd "$d" && AVIARO_SIM_SCRIPT="$d/script.txt" AVIARO_SIM_RECORD="$d/record.txt" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -RUN)
check_eq "-RUN with tracing exits 0" 0 $?
{ printf '\r\n------\r\n'; printf '%s\r\n' \
    "  CAviaroBase::InitSimConnect - SimConnect_Open returned 00000000" \
    "  CAviaroBase::InitSimConnect - SimConnect_SubscribeToSystemEvent(Start) returned 00000000" \
    "  CAviaroBase::InitSimConnect - SimConnect_SubscribeToSystemEvent(Stop) returned 00000000" \
    "  CAviaroBase::InitSimConnect - SimConnect_SubscribeToSystemEvent(Paused) returned 00000000" \
    "  CAviaroBase::InitSimConnect - SimConnect_SubscribeToSystemEvent(Unpaused) returned 00000000" \
    "  CAviaro::OnInitialize" \
    "  CAviaro::InitializePages - Failed to parse file" \
    "  CAviaro::OnInitialize returned TRUE" \
    "  CAviaro::OnFinalize" \
    "  CAviaro::OnFinalize returned TRUE" \
    "  CAviaroBase::CleanupSimConnect - SimConnect_Close returned 00000000"; } >"$d/expected.txt"
check_file_eq "trace file: separator, InitSimConnect results, the run without Aviaro.xml, close, CR LF" \
    "$d/expected.txt" "$d/trace.txt"

# The same with the library missing: the open fails with E_NOTIMPL and nothing else runs.
d2=$(conn_setup connection-trace-no-dll nodll)
wine_run "$d2/reg.txt" reg add "$debug_key" /v Aviaro /t REG_SZ /d "$(win_path "$d2")\\trace.txt" /f
(cd "$d2" && wine_run "$d2/out.txt" "$d2/Aviaro.exe" -run)
check_eq "-run without the DLL and with tracing exits with -1" 255 $?
printf '\r\n------\r\n  CAviaroBase::InitSimConnect - SimConnect_Open returned 80004001\r\n' \
    >"$d2/expected.txt"
check_file_eq "trace file without the DLL ends after the failed open" \
    "$d2/expected.txt" "$d2/trace.txt"

# An empty value leaves tracing off.
d3=$(conn_setup connection-trace-empty)
printf 'quit\n' >"$d3/script.txt"
wine_run "$d3/reg.txt" reg add "$debug_key" /v Aviaro /t REG_SZ /d "" /f
(cd "$d3" && AVIARO_SIM_SCRIPT="$d3/script.txt" wine_run "$d3/out.txt" "$d3/Aviaro.exe" -run)
check_eq "-run with an empty Debug value exits 0" 0 $?
if [ -z "$(ls "$d3" | grep -iv -e '^aviaro.exe$' -e '^simconnect.dll$' -e '^script.txt$' -e '\.txt$')" ] \
    && [ ! -e "$d3/trace.txt" ]; then
    pass "an empty Debug value creates no trace file"
else
    fail "an empty Debug value creates no trace file" "$(ls "$d3")"
fi
wine_run "$d3/reg.txt" reg delete "$debug_key" /f

# Install and uninstall end with 1 and never connect.
d=$(conn_setup connection-uninstall)
printf 'quit\n' >"$d/script.txt"
(cd "$d" && AVIARO_SIM_SCRIPT="$d/script.txt" AVIARO_SIM_RECORD="$d/record.txt" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -Uninstall)
check_eq "-Uninstall exits 1" 1 $?
check_absent "-Uninstall does not connect" "$d/record.txt"

fi
