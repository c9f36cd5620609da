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
# Without Aviaro.xml there are no pages: the multi panel takes definition 2,
# the first client events and group 0, and requests its data at every start.
{
cat <<'EXPECTED'
SimConnect_Open name="Orlend Flight Sim X Plugin" window=0 userEvent=0 event=set config=0 -> 00000000
SimConnect_SubscribeToSystemEvent id=1 name="SimStart" -> 00000000
SimConnect_SubscribeToSystemEvent id=2 name="SimStop" -> 00000000
SimConnect_SubscribeToSystemEvent id=3 name="Paused" -> 00000000
SimConnect_SubscribeToSystemEvent id=4 name="Unpaused" -> 00000000
EXPECTED
multi_panel_init 2 5 0
cat <<'EXPECTED'
SimConnect_CallDispatch -> 00000000
deliver EVENT id=1
SimConnect_RequestDataOnSimObject request=2 define=2 object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000
SimConnect_CallDispatch -> 00000000
deliver EVENT id=3
deliver EVENT id=4
SimConnect_RequestDataOnSimObject request=2 define=2 object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000
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
