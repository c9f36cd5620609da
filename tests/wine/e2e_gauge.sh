# The shipped Aviaro.exe with a gauge delivered as a .cab package on a virtual
# Mira: the package is unpacked and the gauge shown, drawn again when the
# simulator changes its variable, and a knob turn and a soft-button press come
# back to the simulator as the gauge's events; the unpacked folder goes again.
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
    'at 2500; set "heading indicator" 90' 'at 8000; SimStop; quit' >"$d/sim.txt"
printf '%s\n' strict 'device mira MIRA-1' 'wait Lumiray_SetImage' 'sleep 4000' 'press 1 0x2' 'sleep 500' \
    'press 1 0x20' 'sleep 1500' >"$d/lumiray.txt"
manager_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_run "$d/reg1.txt" reg add "$manager_key" /v LumirayX86 /t REG_SZ /d "$(win_path "$d")\\Lumiray.dll" /f
wine_run "$d/reg2.txt" reg add "$manager_key\\Debug" /v Aviaro /t REG_SZ /d "$(win_path "$d")\\trace.txt" /f
lumirayd_install && lumirayd_start

(cd "$d" && AVIARO_SIM_SCRIPT="$d/sim.txt" AVIARO_SIM_RECORD="$d/sim-record.txt" \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/lumiray.txt")" AVIARO_LUMIRAY_RECORD="$(win_path "$d/lumiray-record.txt")" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "gauge: the run ends with 0 at QUIT" 0 $?
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
    id=$(sed -n "s/^SimConnect_MapClientEventToSimEvent id=\([0-9]*\) name=\"$event\".*/\1/p" "$d/sim-record.txt" | head -1)
    check_eq "gauge: SoftButton_$button is traced and transmits $event" "1 1" \
        "$(grep -c "CPage_Mira_Gauge::OnButtonPress(SoftButton_$button)$" "$d/trace-lf.txt") $(grep -c \
            "^SimConnect_TransmitClientEvent object=0 id=${id:-none} " "$d/sim-record.txt")"
done
check_eq "gauge: every SimConnect call on the dispatch thread" 0 "$(grep -c '\[other thread\]' "$d/sim-record.txt")"
check_eq "gauge: the package's temporary folder is removed" "" \
    "$(ls "$WINEPREFIX"/drive_c/users/*/Temp/ 2>/dev/null | grep '^{')"
fi
