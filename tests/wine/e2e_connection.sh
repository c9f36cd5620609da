# The shipped Aviaro.exe against the simulator stand-in: the connection run,
# its exit codes and its trace file.
conn_setup() {
    local d
    d=$(case_dir "$1")
    cp "$WINE_BUILD/bin/Aviaro.exe" "$d/"
    if [ "${2:-dll}" = dll ]; then cp "$WINE_BUILD/bin/SimConnect.dll" "$d/"; fi
    echo "$d"
}

debug_key='HKLM\SOFTWARE\Orlend\Lumiray\Debug'
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
# The connection's own record, each run of the panels' lines folded into one.
sed -E -e 's/^SimConnect_(AddToDataDefinition|MapClientEventToSimEvent|AddClientEventToNotificationGroup|SetNotificationGroupPriority) .*/(panels set up)/' \
    -e 's/^SimConnect_RequestDataOnSimObject .*/(panels request data)/' "$d/record.txt" | uniq >"$d/connection.txt"
cat >"$d/expected.txt" <<'EXPECTED'
SimConnect_Open name="Orlend Flight Sim X Plugin" window=0 userEvent=0 event=set config=0 -> 00000000
SimConnect_SubscribeToSystemEvent id=1 name="SimStart" -> 00000000
SimConnect_SubscribeToSystemEvent id=2 name="SimStop" -> 00000000
SimConnect_SubscribeToSystemEvent id=3 name="Paused" -> 00000000
SimConnect_SubscribeToSystemEvent id=4 name="Unpaused" -> 00000000
(panels set up)
SimConnect_CallDispatch -> 00000000
deliver EVENT id=1
(panels request data)
SimConnect_CallDispatch -> 00000000
deliver EVENT id=3
deliver EVENT id=4
(panels request data)
SimConnect_CallDispatch -> 00000000
deliver SIMOBJECT_DATA request=7 size=12
SimConnect_CallDispatch -> 00000000
deliver EVENT id=9
SimConnect_CallDispatch -> 00000000
deliver EVENT id=2
deliver QUIT
SimConnect_Close -> 00000000
EXPECTED
check_file_eq "-run: opens, subscribes 1-4 in order, one dispatch per wake, closes" \
    "$d/expected.txt" "$d/connection.txt"
# Without Aviaro.xml there are no pages: the multi, radio, switch and backlit
# panels take definitions 2 to 5, client events 5-27, 28-60 and 61-88 in
# groups 0 to 2 (the backlit panel maps none), and request their data at each
# start. Each panel's record and events are pinned by the native tests.
counts() {  # counts PATTERN ARGS...: the record's lines matching PATTERN with @ as each ARG
    local a
    for a in "${@:2}"; do grep -c "^${1//@/$a}" "$d/record.txt"; done | xargs
}
check_eq "panels: datums of definitions 2-5" "22 27 27 49" "$(counts 'SimConnect_AddToDataDefinition define=@ ' 2 3 4 5)"
check_eq "panels: events in groups 0-2" "23 33 28 0" "$(counts 'SimConnect_AddClientEventToNotificationGroup group=@ ' 0 1 2 3)"
check_eq "panels: events mapped" 84 "$(grep -c '^SimConnect_MapClientEventToSimEvent ' "$d/record.txt")"
check_eq "panels: each request at both starts" "2 2 2 2" "$(counts 'SimConnect_RequestDataOnSimObject request=@ define=@ object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000$' 2 3 4 5)"
while IFS= read -r line; do check_contains "panels: $line" "$d/record.txt" "$line"; done <<'SAMPLES'
SimConnect_AddToDataDefinition define=2 datum="AVIONICS MASTER SWITCH" units="Bool" type=1 epsilon=0 datumId=0 -> 00000000
SimConnect_AddToDataDefinition define=2 datum="PARTIAL PANEL AVIONICS" units="ENUM" type=1 epsilon=0 datumId=21 -> 00000000
SimConnect_AddToDataDefinition define=3 datum="AVIONICS MASTER SWITCH" units="Bool" type=1 epsilon=0 datumId=0 -> 00000000
SimConnect_AddToDataDefinition define=3 datum="PARTIAL PANEL AVIONICS" units="ENUM" type=1 epsilon=0 datumId=26 -> 00000000
SimConnect_AddToDataDefinition define=4 datum="ELECTRICAL MASTER BATTERY" units="Bool" type=1 epsilon=0 datumId=0 -> 00000000
SimConnect_AddToDataDefinition define=4 datum="GEAR RIGHT POSITION" units="Percent Over 100" type=3 epsilon=0 datumId=26 -> 00000000
SimConnect_AddToDataDefinition define=5 datum="PITOT HEAT" units="Bool" type=1 epsilon=0 datumId=0 -> 00000000
SimConnect_AddToDataDefinition define=5 datum="FUEL CROSS FEED" units="Enum" type=1 epsilon=0 datumId=48 -> 00000000
SimConnect_MapClientEventToSimEvent id=5 name="AP_ALT_VAR_INC" -> 00000000
SimConnect_MapClientEventToSimEvent id=88 name="MAGNETO4_SET" -> 00000000
SimConnect_SetNotificationGroupPriority group=0 priority=1 -> 00000000
SimConnect_SetNotificationGroupPriority group=1 priority=1 -> 00000000
SimConnect_SetNotificationGroupPriority group=2 priority=1 -> 00000000
SAMPLES
check_absent "-run without the Debug value writes no trace file" "$d/trace.txt"

# Without SimConnect.dll the run cannot start.
d=$(conn_setup connection-no-dll nodll)
(cd "$d" && wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "-run without SimConnect.dll exits with -1" 255 $?

# Tracing on through the registry.
d=$(conn_setup connection-trace)
printf 'quit\n' >"$d/script.txt"
wine_reg_add "$d/reg.txt" "$debug_key" Aviaro "$(win_path "$d")\\trace.txt"
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
wine_reg_add "$d2/reg.txt" "$debug_key" Aviaro "$(win_path "$d2")\\trace.txt"
(unset MSFS_SDK MSFS2024_SDK; cd "$d2" && wine_run "$d2/out.txt" "$d2/Aviaro.exe" -run)
check_eq "-run without the DLL and with tracing exits with -1" 255 $?
# The x86-64 build first names the file it tried beside itself (no SDK
# variable set, so no SDK folder); the i686 build reports no missing library.
{ printf '\r\n------\r\n'
  if [ "$WINE_ARCH_BITS" = 64 ]; then
      printf '  CSimConnectLibrary::Instance - SimConnect.dll not loaded from %s\\SimConnect.dll\r\n' \
          "$(win_path "$d2")"
  fi
  printf '  CAviaroBase::InitSimConnect - SimConnect_Open returned 80004001\r\n'; } >"$d2/expected.txt"
check_file_eq "trace file without the DLL ends after the failed open" \
    "$d2/expected.txt" "$d2/trace.txt"

# An empty value leaves tracing off.
d3=$(conn_setup connection-trace-empty)
printf 'quit\n' >"$d3/script.txt"
wine_reg_add "$d3/reg.txt" "$debug_key" Aviaro ""
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
