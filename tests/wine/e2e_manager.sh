# The shipped Aviaro.exe with both stand-in libraries and the stand-in device
# service: the device library is started and its devices recorded, the trace
# shows the manager at work, and the saved page names appear beside the
# executable when the simulation stops.
if [ -f "$WINE_BUILD/bin/Lumiray.dll" ] && [ -f "$WINE_BUILD/bin/Lumirayd.exe" ]; then
. "$(dirname "${BASH_SOURCE[0]}")/service.sh"

d=$(case_dir manager-run)
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" "$d/"
printf '<Aviaro>\n  <Tarvex/>\n</Aviaro>\n' >"$d/Aviaro.xml"
printf 'device tarvex\ndevice mira MIRA-7\n' >"$d/lumiray.txt"
printf 'SimStart\nPaused\nUnpaused\nSimStop\nquit\n' >"$d/sim.txt"
manager_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_reg_add "$d/reg1.txt" "$manager_key" LumirayX86 "$(win_path "$d")\\Lumiray.dll"
wine_reg_add "$d/reg2.txt" "$manager_key\\Debug" Aviaro "$(win_path "$d")\\trace.txt"
lumirayd_install && lumirayd_start
check_eq "the stand-in device service runs" 4 "$(lumirayd_state)"

(cd "$d" && AVIARO_SIM_SCRIPT="$d/sim.txt" AVIARO_SIM_RECORD="$d/sim-record.txt" \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/lumiray.txt")" \
    AVIARO_LUMIRAY_RECORD="$(win_path "$d/lumiray-record.txt")" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "a run with the device library ends with 0 at QUIT" 0 $?

check_contains "the device library is started for the plug-in" "$d/lumiray-record.txt" \
    'Lumiray_Initialize name="Orlend Flight Sim X Plugin" -> 00000000'
if grep -q '^Lumiray_RegisterPageCallback device=1 ' "$d/lumiray-record.txt" &&
    grep -q '^Lumiray_RegisterPageCallback device=2 ' "$d/lumiray-record.txt" &&
    grep -q '^Lumiray_GetSerialNumber device=2 size=16 -> 00000000' "$d/lumiray-record.txt"; then
    pass "both devices are enumerated and recorded, the Mira's serial read"
else
    fail "both devices are enumerated and recorded" "see $d/lumiray-record.txt"
fi
check_contains "the device library is released at the end" "$d/lumiray-record.txt" \
    'Lumiray_Deinitialize -> 00000000'

tr -d '\r' <"$d/trace.txt" >"$d/trace-lf.txt"
cat >"$d/expected-lines.txt" <<'LINES'
  CAviaro::OnInitialize
  CAviaro::InitializeLumiray - Lumiray_Initialize returned 00000000
  CAviaro::InitializeLumiray - Lumiray_RegisterDeviceCallback returned 00000000
  CAviaro::AddDevice - Lumiray_RegisterPageCallback returned 00000000
  CAviaro::AddDevice - Lumiray_RegisterSoftButtonChangeCallback returned 00000000
  CAviaro::AddDevice - Lumiray_GetDeviceType returned 00000000
  CAviaro::AddDevice - Lumiray_GetSerialNumber returned 00000000
  CAviaro::InitializeLumiray - Lumiray_Enumerate returned 00000000
  CAviaro::OnInitialize returned TRUE
  CAviaro::OnSimStart
  CAviaro::OnSimStop
  CAviaro::OnFinalize
  CAviaro::FinalizeLumiray - Lumiray_Deinitialize returned 00000000
  CAviaro::OnFinalize returned TRUE
  CAviaroBase::CleanupSimConnect - SimConnect_Close returned 00000000
LINES
# The manager's lines appear in this order (others may stand between them).
if awk 'NR==FNR { want[++n] = $0; next } k < n && $0 == want[k + 1] { k++ } END { exit k == n ? 0 : 1 }' \
    "$d/expected-lines.txt" "$d/trace-lf.txt"; then
    pass "the trace shows the manager's lines in order"
else
    fail "the trace shows the manager's lines in order" "see $d/trace-lf.txt"
fi
if [ "$(grep -c '^  CAviaro::OnSimStop$' "$d/trace-lf.txt")" = 2 ]; then
    pass "pause and stop each reach the manager"
else
    fail "pause and stop each reach the manager" "see $d/trace-lf.txt"
fi
if [ -f "$d/VelFlightMira.xml" ] && grep -q '<MiraList' "$d/VelFlightMira.xml" &&
    [ ! -e "$d/VelFlightMira.xml.tmp" ]; then
    pass "VelFlightMira.xml is written beside the executable at simulation stop"
else
    fail "VelFlightMira.xml is written beside the executable" "$(ls "$d")"
fi

# With the service stopped the device library is left alone.
lumirayd_stop
rm -f "$d/lumiray-record.txt"
(cd "$d" && AVIARO_SIM_SCRIPT="$d/sim.txt" \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/lumiray.txt")" \
    AVIARO_LUMIRAY_RECORD="$(win_path "$d/lumiray-record.txt")" \
    wine_run "$d/out2.txt" "$d/Aviaro.exe" -run)
check_eq "without the device service the run still ends with 0" 0 $?
if ! grep -q '^Lumiray_Initialize' "$d/lumiray-record.txt" 2>/dev/null; then
    pass "without the device service the device library is never started"
else
    fail "without the device service the device library is never started" "see $d/lumiray-record.txt"
fi

lumirayd_stop_and_remove
wine_run "$d/reg3.txt" reg delete "$manager_key" /f
fi
