# The shipped Aviaro.exe with aircraft profiles: the simulator stand-in loads
# a Skyhawk, then a Baron, then an aircraft no section names, then the Skyhawk
# again. Two virtual Mira units and a backlit annunciator follow: the gauge
# pages take each profile's gauges (by order, and one by a unit's serial; a
# missing one shows the test gauge), the lamps each profile's programming,
# and each unit comes back on the page it last showed in that profile. A third
# unit plugged in during the last Skyhawk flight gets the gauge for its serial.
if [ -f "$WINE_BUILD/bin/Lumiray.dll" ] && [ -f "$WINE_BUILD/bin/Lumirayd.exe" ] &&
    [ -f "$WINE_BUILD/bin/HidStandIn.dll" ]; then
. "$(dirname "${BASH_SOURCE[0]}")/service.sh"

d=$(case_dir profiles-run)
cp "$WINE_BUILD/bin/Aviaro.exe" "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" \
    "$WINE_BUILD/bin/HidStandIn.dll" "$d/"
# One gauge per name, each with its needle somewhere else, so that each draws
# its own picture.
x=10
for g in Clock Fuel Oil SkyhawkAsi SkyhawkTach BaronAsi BaronClock SkyhawkClock; do
    mkdir -p "$d/gauges/$g/1024"
    cp "$(dirname "${BASH_SOURCE[0]}")"/../../tools/test_gauge/1024/Airspeed_*.bmp "$d/gauges/$g/1024/"
    printf '<Gauge Name="%s"><Image Name="Airspeed_Background.bmp"/><Element><Position X="%d" Y="40"/><Image Name="Airspeed_Needle.bmp"/></Element></Gauge>\n' \
        "$g" "$x" >"$d/gauges/$g/gauge.xml"
    x=$((x + 20))
done
cat >"$d/Aviaro.xml" <<'XML'
<Aviaro>
  <Gauge File="gauges\Clock\gauge.xml" Timeout="50"/>
  <Gauge File="gauges\Fuel\gauge.xml" Timeout="50"/>
  <Gauge File="gauges\Oil\gauge.xml" Timeout="50"/>
  <Aircraft Name="untitled"><Gauge File="gauges\Oil\gauge.xml"/></Aircraft>
  <Aircraft Title="Cessna Skyhawk*" Name="Skyhawk">
    <Gauge File="gauges\SkyhawkAsi\gauge.xml"/>
    <Gauge File="gauges\SkyhawkTach\gauge.xml"><Button Id="2" Name="RPM" Event="TOGGLE_BEACON_LIGHTS"/></Gauge>
    <Gauge Serial="MIRA-3" File="gauges\SkyhawkClock\gauge.xml"/>
    <Tally File="SkyhawkLamps.xml"/>
  </Aircraft>
  <Aircraft Title="beech baron ??" Name="Baron">
    <Gauge File="gauges\BaronAsi\gauge.xml"/>
    <Gauge File="gauges\Missing\gauge.xml"/>
    <Gauge Serial="MIRA-1" File="gauges\BaronClock\gauge.xml"/>
    <Tally File="BaronLamps.xml"/>
  </Aircraft>
</Aviaro>
XML
programming="$WINEPREFIX/drive_c/users/Public/Documents/Plotwise Profiles"
mkdir -p "$programming"
lamps() {  # lamps FILE LENS COLOUR: the beacon on one lens of unit TL-1
    printf '<Tally><TallyProgramming Id="TL-1"><Lense><Id>BeaconLight</Id><Colour>%s</Colour><Assignment>%s</Assignment></Lense></TallyProgramming></Tally>\n' \
        "$3" "$2" >"$programming/$1"
}
lamps TallyProgramming.xml 1 Green
lamps SkyhawkLamps.xml 2 Red
lamps BaronLamps.xml 3 Amber
cat >"$d/sim.txt" <<'SIM'
init "LIGHT BEACON" 1
title "Cessna Skyhawk 172SP Paint1"; SimStart
at 4000; title "Beech Baron 58"; AircraftLoaded "SimObjects\Airplanes\Beech_Baron_58\Baron58.air"
at 7000; title "Piper J-3 Cub"; AircraftLoaded "SimObjects\Airplanes\Piper_J3_Cub\J3Cub.air"
at 9500; title "Cessna Skyhawk 172SP Paint1"; AircraftLoaded "SimObjects\Airplanes\C172\Cessna172SP.air"
at 12000; SimStop; quit
SIM
# In the Skyhawk the pilot turns the first unit to the third page; the third
# unit is plugged in a second after the Skyhawk is loaded again.
printf '%s\n' 'device mira MIRA-1' 'device mira MIRA-2' 'sleep 2000' 'page 1 3' 'sleep 8500' \
    'arrive mira MIRA-3' >"$d/lumiray.txt"
printf '%s\n' 'unit backlit TL-1' 'wait backlit' >"$d/hid.txt"
manager_key='HKLM\SOFTWARE\Orlend\Lumiray'
wine_reg_add "$d/reg1.txt" "$manager_key" LumirayX86 "$(win_path "$d")\\Lumiray.dll"
wine_reg_add "$d/reg2.txt" "$manager_key\\Debug" Aviaro "$(win_path "$d")\\trace.txt"
lumirayd_install && lumirayd_start
mkdir -p "$d/dump"
(cd "$d" && AVIARO_SIM_SCRIPT="$d/sim.txt" AVIARO_SIM_RECORD="$d/sim-times.txt" \
    AVIARO_SIM_RECORD_TIME=1 AVIARO_LUMIRAY_RECORD_TIME=1 \
    AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/lumiray.txt")" AVIARO_LUMIRAY_RECORD="$(win_path "$d/lumiray-times.txt")" \
    AVIARO_LUMIRAY_DUMP="$(win_path "$d/dump")" \
    AVIARO_HID_SCRIPT="$(win_path "$d/hid.txt")" AVIARO_HID_RECORD="$(win_path "$d/hid-record.txt")" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "profiles: the run ends with 0 at QUIT" 0 $?
lumirayd_stop_and_remove
wine_run "$d/reg3.txt" reg delete "$manager_key" /f
rm -f "$programming/TallyProgramming.xml" "$programming/SkyhawkLamps.xml" "$programming/BaronLamps.xml"

# The records without their times (milliseconds since 1970, one clock for both).
cut -d' ' -f2- "$d/sim-times.txt" >"$d/sim-record.txt"
cut -d' ' -f2- "$d/lumiray-times.txt" >"$d/lumiray-record.txt"
tr -d '\r' <"$d/trace.txt" >"$d/trace-lf.txt" 2>/dev/null
# What the trace says, in this order (other lines stand between).
cat >"$d/expected-lines.txt" <<'LINES'
  CAircraftProfiles::Load - Aircraft 1 has no Title, skipped
  CAircraftProfiles::Load - "Skyhawk" for titles "Cessna Skyhawk*"
  CAircraftProfiles::Load - "Baron" for titles "beech baron ??"
  CAviaro::OnInitialize - SimConnect_AddToDataDefinition(TITLE) returned 00000000
  CAviaro::OnInitialize - SimConnect_SubscribeToSystemEvent(AircraftLoaded) returned 00000000
  CAviaro::RequestAircraftTitle - SimConnect_RequestDataOnSimObject returned 00000000
  CAviaro::OnAircraftTitle - "Cessna Skyhawk 172SP Paint1" matches Title="Cessna Skyhawk*": profile "Skyhawk"
  CAviaro::ApplyProfile - profile "Skyhawk"
  CAviaro::ApplyProfile - unit MIRA-1 on page 1: SkyhawkAsi
  CAviaro::ApplyProfile - unit MIRA-2 on page 2: SkyhawkTach
  CAviaro::OnAircraftLoaded
  CAviaro::OnAircraftTitle - "Beech Baron 58" matches Title="beech baron ??": profile "Baron"
  CAviaro::ApplyProfile - profile "Baron"
  CPage_Mira_Gauge::ShowGauge - BaronAsi from @\gauges\BaronAsi\gauge.xml
  CPage_Mira_Gauge::ShowGauge - SimConnect_RequestDataOnSimObject returned 00000000
  CPage_Mira_Gauge::ShowGauge - @\gauges\Missing\gauge.xml could not be read, showing the test gauge
  CPage_Mira_Gauge::ShowGauge - BaronClock from @\gauges\BaronClock\gauge.xml
  CAviaro::ApplyProfile - unit MIRA-1 on page 3: BaronClock
  CAviaro::ApplyProfile - unit MIRA-2 on page 2: (no name)
  CAviaro::OnAircraftTitle - "Piper J-3 Cub" matches no Aircraft section: no profile
  CAviaro::ApplyProfile - no profile
  CAviaro::ApplyProfile - unit MIRA-1 on page 1: Clock
  CAviaro::ApplyProfile - unit MIRA-2 on page 2: Fuel
  CAviaro::OnAircraftTitle - "Cessna Skyhawk 172SP Paint1" matches Title="Cessna Skyhawk*": profile "Skyhawk"
  CAviaro::ApplyProfile - unit MIRA-1 on page 3: Oil
  CAviaro::ApplyProfile - unit MIRA-2 on page 2: SkyhawkTach
  CAviaro::OnMiraArrived - profile "Skyhawk" applied again for the new unit
  CPage_Mira_Gauge::ShowGauge - SkyhawkClock from @\gauges\SkyhawkClock\gauge.xml
  CAviaro::ApplyProfile - unit MIRA-3 on page 3: SkyhawkClock
  CAviaro::OnSimStop
LINES
sed -i "s|@|$(win_path "$d" | sed 's/\\/\\\\/g')|" "$d/expected-lines.txt"
if awk 'NR==FNR { want[++n] = $0; next } k < n && $0 == want[k + 1] { k++ } END { if (k < n) print "missing: " want[k + 1]; exit k == n ? 0 : 1 }' \
    "$d/expected-lines.txt" "$d/trace-lf.txt" >"$d/order.txt"; then
    pass "profiles: the trace says which profile was chosen, why, and what each unit shows"
else
    fail "profiles: the trace lines in order" "$(cat "$d/order.txt"); see $d/trace-lf.txt"
fi

# The units' page switches, as the device library saw them: back on page 1
# without a profile, back on the Skyhawk's page 3 for the first unit.
check_eq "profiles: each unit is switched to its page of the profile" \
    "device=1 page=1|device=1 page=3|device=2 page=2|device=3 page=3" \
    "$(sed -n 's/^Lumiray_AddPage \(device=[0-9]\) \(page=[0-9]\) flags=1 -> 00000000$/\1 \2/p' "$d/lumiray-record.txt" |
        sort -u | paste -sd'|')"
check_eq "profiles: at the end the units show the Skyhawk's last pages" "page 3|page 2|page 3" \
    "$(head -1 "$d/dump/mira-1.txt" | tr -d '\r')|$(head -1 "$d/dump/mira-2.txt" | tr -d '\r')|$(head -1 "$d/dump/mira-3.txt" | tr -d '\r')"
# Page 3's picture: Oil, then BaronClock, then Oil again.
crcs=$(sed -n 's/^Lumiray_SetImage device=1 page=3 index=0 size=230400 .*crc=\([0-9A-F]*\) -> 00000000$/\1/p' \
    "$d/lumiray-record.txt" | uniq | paste -sd' ')
read -r oil baron oil2 _ <<<"$crcs"
check_eq "profiles: the unit shows the Baron's gauge for its serial, then the page's own again" "yes" \
    "$([ -n "$oil2" ] && [ "$oil" != "$baron" ] && [ "$oil" = "$oil2" ] && echo yes)"
# The unit plugged in during the last Skyhawk flight: its own gauge at last.
late=$(sed -n 's/^Lumiray_SetImage device=3 page=3 index=0 size=230400 .*crc=\([0-9A-F]*\) -> 00000000$/\1/p' \
    "$d/lumiray-record.txt" | tail -1)
check_eq "profiles: a unit plugged in during a flight gets the profile's gauge for its serial" "yes" \
    "$([ -n "$late" ] && [ "$late" != "$oil" ] && [ "$late" != "$baron" ] && echo yes)"
loaded=$(grep -m1 ' deliver EVENT_FILENAME .*Baron58.air' "$d/sim-times.txt" | cut -d' ' -f1)
shown=$(grep -m1 " Lumiray_SetImage device=1 page=3 .*crc=${baron:-none} " "$d/lumiray-times.txt" | cut -d' ' -f1)
switch_ms=$([ -n "$loaded" ] && [ -n "$shown" ] && echo $((shown - loaded)))
echo "   the Baron's gauge on the unit: ${switch_ms:-none} ms after the simulator loaded it"
check_eq "profiles: the display switches within a second of the aircraft loading" yes \
    "$([ -n "$switch_ms" ] && [ "$switch_ms" -le 1000 ] && echo yes)"
check_eq "profiles: the Skyhawk's button lights its lamp on page 2, the others' do not" "0|1|0|1" \
    "$(grep '^Lumiray_SetLed device=2 page=2 index=2 ' "$d/lumiray-record.txt" | sed -n 's/.* value=\([01]\) .*/\1/p' | uniq | paste -sd'|')"

# The annunciator: the default programming at attach, then each profile's.
check_eq "profiles: the annunciator's lamps follow the profile" \
    "lens 1=GREEN|lens 2=RED|lens 3=AMBER|lens 1=GREEN|lens 2=RED" \
    "$(cut -d' ' -f2- "$d/hid-record.txt" | sed -n 's/^backlit \(lens .*\)$/\1/p' | uniq | paste -sd'|')"

tr -d '\r' <"$d/VelFlightMira.xml" >"$d/mira-lf.xml"
check_eq "profiles: the saved page names, per profile beside those without one" \
    '<MiraList><Mira Serial="MIRA-1" Name="Clock"/><Mira Serial="MIRA-2" Name="Fuel"/><Profile Name="Baron"><Mira Serial="MIRA-1" Name="BaronClock"/></Profile><Profile Name="Skyhawk"><Mira Serial="MIRA-1" Name="Oil"/><Mira Serial="MIRA-2" Name="SkyhawkTach"/><Mira Serial="MIRA-3" Name="SkyhawkClock"/></Profile></MiraList>' \
    "$(sed -n 2p "$d/mira-lf.xml")"
check_eq "profiles: every SimConnect call on the dispatch thread" 0 "$(grep -c '\[other thread\]' "$d/sim-record.txt")"
check_eq "profiles: TITLE defined once as a string, asked for at the start and at each aircraft" "1 4" \
    "$(grep -c '^SimConnect_AddToDataDefinition define=[0-9]* datum="TITLE" units=null type=9 ' "$d/sim-record.txt") $(grep -c \
        '^SimConnect_RequestDataOnSimObject request=10551298 define=[0-9]* object=0 period=1 flags=0 ' "$d/sim-record.txt")"
fi
