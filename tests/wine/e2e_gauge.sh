# The shipped Aviaro.exe with a gauge delivered as a .cab package on a virtual
# Mira: the package is unpacked and the gauge shown, drawn again when the
# simulator changes its variable, and a knob turn and a soft-button press come
# back to the simulator as the gauge's events; the unpacked folder goes again.
# While it runs the package is replaced, then by a broken one: the first is
# reloaded (the time it took is printed), the second keeps the gauge.
if [ -f "$WINE_BUILD/bin/Lumiray.dll" ] && [ -f "$WINE_BUILD/bin/Lumirayd.exe" ] &&
    command -v gcab >/dev/null 2>&1; then
. "$(dirname "${BASH_SOURCE[0]}")/service.sh"

d=$(case_dir gauge-run)
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" "$d/"
mkdir -p "$d/src/Heading/1024" "$d/Packages"
cp "$(dirname "${BASH_SOURCE[0]}")"/../../tools/test_gauge/1024/Airspeed_*.bmp "$d/src/Heading/1024/"
cat >"$d/src/Heading/gauge.xml" <<'XML'
<Gauge Name="Heading">
  <Image Name="Airspeed_Background.bmp"/>
  <Element><Position X="76" Y="76"/><Image Name="Airspeed_Needle.bmp"><Axis X="8" Y="6"/></Image>
    <Rotate><Value>(A:Heading indicator,degrees) dgrd</Value></Rotate></Element>
  <Mouse><Area>
    <Area><Cursor Type="UpArrow"/><Click Event="HEADING_BUG_INC"/></Area>
    <Area><Cursor Type="DownArrow"/><Click Event="HEADING_BUG_DEC"/></Area>
  </Area></Mouse>
</Gauge>
XML
(cd "$d/src" && gcab -c -z "$d/Packages/heading.cab" Heading/gauge.xml Heading/1024/*.bmp) >"$d/gcab.txt" 2>&1
cat >"$d/Aviaro.xml" <<'XML'
<Aviaro>
  <Gauge CabFile="Packages\heading.cab" File="Heading\gauge.xml" Timeout="100">
    <Button Id="1" Name="HDG" Event="AP_HDG_HOLD"/>
  </Gauge>
</Aviaro>
XML
printf '%s\n' 'init "heading indicator" 0' 'effect HEADING_BUG_INC add "heading indicator" 10' SimStart \
    'at 2500; set "heading indicator" 90' 'at 10000; SimStop; quit' >"$d/sim.txt"
printf '%s\n' strict 'device mira MIRA-1' 'wait Lumiray_SetImage' 'sleep 4000' 'press 1 0x2' 'sleep 500' \
    'press 1 0x20' 'sleep 1500' >"$d/lumiray.txt"
manager_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_reg_add "$d/reg1.txt" "$manager_key" LumirayX86 "$(win_path "$d")\\Lumiray.dll"
wine_reg_add "$d/reg2.txt" "$manager_key\\Debug" Aviaro "$(win_path "$d")\\trace.txt"
lumirayd_install && lumirayd_start

# The author's edits, once the flight has started: a new package (written
# beside and moved over, as tools save), then a truncated one.
sed 's/Airspeed_Needle.bmp/Airspeed_Background.bmp/' "$d/src/Heading/gauge.xml" >"$d/src/gauge2.xml"
(
    wait_line() { # wait_line PATTERN: up to 10 s for the pattern in the trace
        local n
        for n in $(seq 200); do
            tr -d '\r' 2>/dev/null <"$d/trace.txt" | grep -q "$1" && return 0
            sleep 0.05
        done
        return 1
    }
    wait_line 'CPage_Mira_Gauge::OnSimStart' || exit 0
    sleep 0.5
    mkdir -p "$d/src2/Heading/1024" && cp "$d/src/Heading/1024/"*.bmp "$d/src2/Heading/1024/"
    cp "$d/src/gauge2.xml" "$d/src2/Heading/gauge.xml"
    (cd "$d/src2" && gcab -c -z "$d/Packages/new.tmp" Heading/gauge.xml Heading/1024/*.bmp) >/dev/null 2>&1
    start=$(date +%s%N)
    mv "$d/Packages/new.tmp" "$d/Packages/heading.cab"
    wait_line 'heading.cab reloaded$' && echo $((($(date +%s%N) - start) / 1000000)) >"$d/reload-ms.txt"
    head -c 100 "$d/src/gauge2.xml" >"$d/Packages/heading.cab"
    wait_line 'heading.cab could not be read, the gauge is kept$'
) &
editor=$!

(cd "$d" && AVIARO_SIM_SCRIPT="$d/sim.txt" AVIARO_SIM_RECORD="$d/sim-record.txt" \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/lumiray.txt")" AVIARO_LUMIRAY_RECORD="$(win_path "$d/lumiray-record.txt")" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "gauge: the run ends with 0 at QUIT" 0 $?
wait "$editor"
lumirayd_stop_and_remove

tr -d '\r' <"$d/trace.txt" >"$d/trace-lf.txt" 2>/dev/null
check_eq "gauge: the gauge from the package is loaded, not the test gauge" "1 0" \
    "$(grep -c '^  CPage_Mira_Gauge::OnSimInitialize$' "$d/trace-lf.txt") $(grep -c 'loading debug data' "$d/trace-lf.txt")"
check_contains "gauge: the page is added to the Mira as its active page" "$d/lumiray-record.txt" \
    'Lumiray_AddPage device=1 page=1 flags=1 -> 00000000'
images=$(sed -n 's/^Lumiray_SetImage device=1 page=1 index=0 size=230400 .*crc=\([0-9A-F]*\) -> 00000000$/\1/p' \
    "$d/lumiray-record.txt" | uniq | wc -l)
check_eq "gauge: drawn again when the simulator changes the heading" yes "$([ "$images" -ge 2 ] && echo yes)"
for press in "Up HEADING_BUG_INC" "1 AP_HDG_HOLD"; do
    read -r button event <<<"$press"
    # The presses come after the reload: the events it mapped anew.
    id=$(sed -n "s/^SimConnect_MapClientEventToSimEvent id=\([0-9]*\) name=\"$event\".*/\1/p" "$d/sim-record.txt" | tail -1)
    check_eq "gauge: SoftButton_$button is traced and transmits $event" "1 1" \
        "$(grep -c "CPage_Mira_Gauge::OnButtonPress(SoftButton_$button)$" "$d/trace-lf.txt") $(grep -c \
            "^SimConnect_TransmitClientEvent object=0 id=${id:-none} " "$d/sim-record.txt")"
done
reload_ms=$(cat "$d/reload-ms.txt" 2>/dev/null)
echo "   reload of a changed package: ${reload_ms:-none} ms from the write to the trace line"
check_eq "gauge: a changed package is reloaded within 1.5 s and its data asked for again" "yes 1" \
    "$([ -n "$reload_ms" ] && [ "$reload_ms" -le 1500 ] && echo yes) $(grep -c \
        '^  CPage_Mira_Gauge::ReloadGauge - SimConnect_RequestDataOnSimObject returned 00000000$' "$d/trace-lf.txt")"
check_eq "gauge: a broken package keeps the gauge and says why" "1 1" \
    "$(grep -c '^  CPage_Mira_Gauge::ReloadGauge - .*\\Packages\\heading.cab reloaded$' "$d/trace-lf.txt") $(grep -c \
        '^  CPage_Mira_Gauge::ReloadGauge - .*\\Packages\\heading.cab could not be read, the gauge is kept$' "$d/trace-lf.txt")"
check_eq "gauge: every SimConnect call on the dispatch thread" 0 "$(grep -c '\[other thread\]' "$d/sim-record.txt")"
check_eq "gauge: the package's temporary folder is removed" "" \
    "$(ls "$WINEPREFIX"/drive_c/users/*/Temp/ 2>/dev/null | grep '^{')"
fi
