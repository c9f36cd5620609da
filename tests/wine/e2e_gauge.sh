# The shipped Aviaro.exe with a gauge delivered as a .cab package on a virtual
# Mira: the package is unpacked and the gauge shown, drawn again when the
# simulator changes its variable, the soft button it defines is lit, and a knob
# turn and a soft-button press come back to the simulator as the gauge's events.
if [ "$WINEARCH" = win32 ] && [ -f "$WINE_BUILD/bin/Lumiray.dll" ] && [ -f "$WINE_BUILD/bin/Lumirayd.exe" ] &&
    command -v gcab >/dev/null 2>&1 && command -v python3 >/dev/null 2>&1; then
. "$(dirname "${BASH_SOURCE[0]}")/service.sh"

d=$(case_dir gauge-run)
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" "$d/"
mkdir -p "$d/src/Heading/1024" "$d/Packages" "$d/dump"
python3 - "$d/src/Heading/1024" <<'PY'
import struct, sys
def bmp(path, w, h, bgr):
    row = (w * 3 + 3) & ~3
    data = bytearray(54 + row * h)
    data[0:2] = b'BM'
    struct.pack_into('<IxxxxI', data, 2, len(data), 54)
    struct.pack_into('<IiiHH', data, 14, 40, w, h, 1, 24)
    for y in range(h):
        for x in range(w):
            data[54 + y * row + x * 3:57 + y * row + x * 3] = bytes(bgr)
    open(path, 'wb').write(data)
bmp(sys.argv[1] + '/bg.bmp', 80, 60, (160, 40, 0))
bmp(sys.argv[1] + '/needle.bmp', 30, 4, (255, 255, 255))
PY
cat >"$d/src/Heading/gauge.xml" <<'XML'
<Gauge Name="Heading">
  <Image Name="bg.bmp"/>
  <Element><Position X="40" Y="30"/><Image Name="needle.bmp"><Axis X="0" Y="2"/></Image>
    <Rotate><Value>(A:Heading indicator,degrees) dgrd</Value></Rotate></Element>
  <Mouse><Area>
    <Area><Cursor Type="UpArrow"/><Click Event="HEADING_BUG_INC"/></Area>
    <Area><Cursor Type="DownArrow"/><Click Event="HEADING_BUG_DEC"/></Area>
  </Area></Mouse>
</Gauge>
XML
(cd "$d/src" && gcab -c -z "$d/Packages/heading.cab" Heading/gauge.xml Heading/1024/bg.bmp Heading/1024/needle.bmp) \
    >"$d/gcab.txt" 2>&1
cat >"$d/Aviaro.xml" <<'XML'
<Aviaro>
  <Gauge CabFile="Packages\heading.cab" File="Heading\gauge.xml" Timeout="100">
    <Button Id="1" Name="HDG" Event="AP_HDG_HOLD"/>
  </Gauge>
</Aviaro>
XML
cat >"$d/sim.txt" <<'SIM'
init "heading indicator" 0
effect HEADING_BUG_INC add "heading indicator" 10
SimStart
at 2500; set "heading indicator" 90
at 8000; SimStop; quit
SIM
cat >"$d/lumiray.txt" <<'DEV'
strict
device mira MIRA-1
wait Lumiray_SetImage
sleep 4000
press 1 0x2
sleep 500
press 1 0x20
sleep 1500
dump
DEV
manager_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_run "$d/reg1.txt" reg add "$manager_key" /v LumirayX86 /t REG_SZ /d "$(win_path "$d")\\Lumiray.dll" /f
wine_run "$d/reg2.txt" reg add "$manager_key\\Debug" /v Aviaro /t REG_SZ /d "$(win_path "$d")\\trace.txt" /f
lumirayd_install && lumirayd_start

(cd "$d" && AVIARO_SIM_SCRIPT="$d/sim.txt" AVIARO_SIM_RECORD="$d/sim-record.txt" \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/lumiray.txt")" \
    AVIARO_LUMIRAY_RECORD="$(win_path "$d/lumiray-record.txt")" \
    AVIARO_LUMIRAY_DUMP="$(win_path "$d/dump")" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "gauge: the run ends with 0 at QUIT" 0 $?
lumirayd_stop_and_remove

tr -d '\r' <"$d/trace.txt" >"$d/trace-lf.txt" 2>/dev/null
if grep -q '^  CPage_Mira_Gauge::OnSimInitialize$' "$d/trace-lf.txt" && ! grep -q 'loading debug data' "$d/trace-lf.txt"; then
    pass "gauge: the gauge from the package is loaded, not the test gauge"
else
    fail "gauge: the gauge from the package is loaded, not the test gauge" "see $d/trace-lf.txt"
fi
check_contains "gauge: the page is added to the Mira as its active page" "$d/lumiray-record.txt" \
    'Lumiray_AddPage device=1 page=1 flags=1 -> 00000000'
images=$(grep '^Lumiray_SetImage device=1 page=1 index=0 size=230400 ' "$d/lumiray-record.txt" |
    sed -n 's/.* crc=\([0-9A-F]*\) -> 00000000$/\1/p' | uniq | wc -l)
if [ "$images" -ge 2 ]; then
    pass "gauge: drawn again when the simulator changes the heading ($images different frames)"
else
    fail "gauge: drawn again when the simulator changes the heading" "see $d/lumiray-record.txt"
fi
leds=$(grep '^Lumiray_SetLed device=1 page=1 ' "$d/lumiray-record.txt" | head -6 |
    sed 's/.* index=\([0-9]\) value=\([0-9]\) .*/\1=\2/' | tr '\n' ' ')
check_eq "gauge: LEDs 1 to 6 in order, only the defined soft button lit" "1=1 2=0 3=0 4=0 5=0 6=0 " "$leds"
ids() { sed -n "s/^SimConnect_MapClientEventToSimEvent id=\([0-9]*\) name=\"$1\".*/\1/p" "$d/sim-record.txt" | head -1; }
for event in HEADING_BUG_INC AP_HDG_HOLD; do
    id=$(ids "$event")
    if [ -n "$id" ] && grep -q "^SimConnect_TransmitClientEvent object=0 id=$id " "$d/sim-record.txt"; then
        pass "gauge: the press transmits $event"
    else
        fail "gauge: the press transmits $event" "see $d/sim-record.txt"
    fi
done
if [ -s "$d/dump/mira-1.png" ] && grep -q '^page 1' "$d/dump/mira-1.txt"; then
    pass "gauge: the Mira's screen is dumped as PNG"
else
    fail "gauge: the Mira's screen is dumped as PNG" "$(ls "$d/dump")"
fi
if ! grep -q '\[other thread\]' "$d/sim-record.txt"; then
    pass "gauge: every SimConnect call on the dispatch thread"
else
    fail "gauge: every SimConnect call on the dispatch thread" "see $d/sim-record.txt"
fi
if ls "$WINEPREFIX"/drive_c/users/*/Temp/ 2>/dev/null | grep -q '^{'; then
    fail "gauge: the package's temporary folder is removed" "$(ls "$WINEPREFIX"/drive_c/users/*/Temp/)"
else
    pass "gauge: the package's temporary folder is removed"
fi
fi
