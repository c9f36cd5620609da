# The shipped Aviaro.exe -install and -uninstall against the user's folders of
# the prefix, for the build given: the i686 build with the FSX-era simulators
# (two present, one with files of its own, one with only its documents folder,
# two missing), the x86-64 build with Microsoft Flight Simulator 2020 and 2024
# from the Store and from Steam (three present, one missing) beside an FSX it
# must leave alone.
reg_bits=${WINE_ARCH_BITS:-}
[ -n "$reg_bits" ] || { [ "$WINEARCH" = win32 ] && reg_bits=32 || reg_bits=64; }

reg_user=$(wine_user)
reg_appdata="$reg_user/AppData/Roaming"
reg_local="$reg_user/AppData/Local"
reg_docs="$reg_user/Documents"

# Every simulator folder this script may make: removed before and after, so a
# run starts from the same prefix and leaves it as it found it.
reg_folders=(
    "$reg_appdata/Microsoft/FSX" "$reg_appdata/Microsoft/FSX-SE" "$reg_appdata/Lockheed Martin"
    "$reg_docs/Flight Simulator X Files" "$reg_docs/Flight Simulator X - Steam Edition Files"
    "$reg_docs/PrePar3D Files" "$reg_docs/PrePar3D v2 Files" "$reg_docs/PrePar3D v3 Files"
    "$reg_appdata/Microsoft Flight Simulator" "$reg_appdata/Microsoft Flight Simulator 2024"
    "$reg_local/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe"
    "$reg_local/Packages/Microsoft.Limitless_8wekyb3d8bbwe")
reg_cleanup() { local f; for f in "${reg_folders[@]}"; do rm -rf "$f"; done; }
reg_cleanup

# lines TEXT...: each text followed by CR LF.
reg_lines() { local l; for l in "$@"; do printf '%s\r\n' "$l"; done; }
T=$'\t'

d=$(case_dir registration)
cp "$WINE_BUILD/bin/Aviaro.exe" "$d/"
exe=$(win_path "$d/Aviaro.exe")

# A new exe.xml as install writes it ($d/new-exe.xml), and as uninstall leaves
# it ($d/new-empty.xml): the header, then the entry's own lines.
reg_lines '<?xml version="1.0" encoding="Windows-1252"?>' \
    '<SimBase.Document Type="Launch" version="1,0">' \
    "$T<Descr>Launch</Descr>" "$T<Filename>exe.xml</Filename>" "$T<Disabled>False</Disabled>" \
    "$T<Launch.ManualLoad>False</Launch.ManualLoad>" "" >"$d/new-head.xml"
cp "$d/new-head.xml" "$d/new-exe.xml"
reg_lines "$T$T<Launch.Addon>" "$T$T$T<Name>Orlend Panel(s) Plugin for FSX</Name>" \
    "$T$T$T<Disabled>False</Disabled>" "$T$T$T<Path>$exe</Path>" \
    "$T$T$T<CommandLine>-run</CommandLine>" "$T$T</Launch.Addon>" "" \
    '</SimBase.Document>' >>"$d/new-exe.xml"
cp "$d/new-head.xml" "$d/new-empty.xml"
reg_lines "" '</SimBase.Document>' >>"$d/new-empty.xml"

# The names in a folder, on one line.
reg_ls() { (cd "$1" && LC_ALL=C ls -A | tr '\n' ' ' | sed 's/ $//'); }

if [ "$reg_bits" = 32 ]; then

fsx="$reg_appdata/Microsoft/FSX"
v2="$reg_appdata/Lockheed Martin/Prepar3D v2"
mkdir -p "$fsx" "$v2" "$reg_docs/Flight Simulator X Files" "$reg_docs/PrePar3D v2 Files" \
    "$reg_docs/PrePar3D v3 Files"
# Prepar3D v2 already has its SimConnect files, other add-ons (one with an
# element of its own, one whose path and end tag share a line), a comment, a
# retired panel program and this executable's entry, disabled and in other
# letter case. LF line ends, as an editor may leave them.
printf '<SimConnect/>\n' >"$v2/SimConnect.xml"
printf '[SimConnect]\nlevel=verbose\n' >"$reg_docs/PrePar3D v2 Files/SimConnect.ini"
cp "$v2/SimConnect.xml" "$d/v2-SimConnect.xml"
cp "$reg_docs/PrePar3D v2 Files/SimConnect.ini" "$d/v2-SimConnect.ini"
v2_head=('<?xml version="1.0" encoding="Windows-1252"?>'
    '<SimBase.Document Type="Launch" version="1,0">'
    "$T<Descr>Launch</Descr>"
    "$T<!-- kept by nobody -->"
    "$T<Launch.Addon>"
    "$T$T<Name>Traffic</Name>"
    "$T$T<ManualLoad>True</ManualLoad>"
    "$T$T<Path>C:\\Traffic\\traffic.exe</Path>"
    "$T</Launch.Addon>")
v2_retired=("$T<Launch.Addon>"
    "$T$T<Name>Old panels</Name>"
    "$T$T<Path>C:\\Old\\VelPanels.exe</Path>"
    "$T</Launch.Addon>")
v2_own=("$T<Launch.Addon>"
    "$T$T<Name>Orlend Panel(s) Plugin for FSX</Name>"
    "$T$T<Disabled>True</Disabled>"
    "$T$T<Path>${exe,,}</Path>"
    "$T$T<CommandLine>-run</CommandLine>"
    "$T</Launch.Addon>")
v2_tail=("$T<Launch.Addon><Name>Weather</Name>"
    "$T$T<Path>C:\\Weather\\wx.exe</Path></Launch.Addon>"
    '</SimBase.Document>')
printf '%s\n' "${v2_head[@]}" "${v2_retired[@]}" "${v2_own[@]}" "${v2_tail[@]}" >"$v2/exe.xml"

(cd "$d" && wine_run "$d/install.txt" "$d/Aviaro.exe" -install)
check_eq "-install exits 1" 1 $?

check_file_eq "FSX: new exe.xml with the entry for this executable" "$d/new-exe.xml" "$fsx/exe.xml"

reg_lines '<?xml version="1.0" encoding="Windows-1252"?>' \
    '<SimBase.Document Type="SimConnect" version="1,0">' \
    "$T<Descr>SimConnect</Descr>" "$T<Filename>SimConnect.xml</Filename>" \
    "$T<Disabled>False</Disabled>" "$T<SimConnect.Comm>" "$T$T<Disabled>False</Disabled>" \
    "$T$T<Protocol>Auto</Protocol>" "$T$T<Scope>local</Scope>" "$T$T<Address></Address>" \
    "$T$T<MaxClients>64</MaxClients>" "$T$T<Port></Port>" \
    "$T$T<MaxRecvSize>4096</MaxRecvSize>" "$T$T<DisableNagle>False</DisableNagle>" \
    "$T</SimConnect.Comm>" '</SimBase.Document>' >"$d/simconnect.xml"
check_file_eq "FSX: new SimConnect.xml" "$d/simconnect.xml" "$fsx/SimConnect.xml"

reg_lines '[SimConnect]' 'level=off' 'console=0' ';OutputDebugString=0' \
    ';file=c:\SimConnect%03u.log' ';file_next_index=1' ';RedirectStdOutToConsole=0' \
    >"$d/simconnect.ini"
check_file_eq "FSX: new SimConnect.ini in the documents folder" "$d/simconnect.ini" \
    "$reg_docs/Flight Simulator X Files/SimConnect.ini"

# Install removes the retired program's lines and sets the entry's Disabled
# value; uninstall then removes the entry's lines. Every other byte stays.
v2_enabled=("${v2_own[@]}")
v2_enabled[2]="$T$T<Disabled>False</Disabled>"
printf '%s\n' "${v2_head[@]}" "${v2_enabled[@]}" "${v2_tail[@]}" >"$d/v2-installed.xml"
printf '%s\n' "${v2_head[@]}" "${v2_tail[@]}" >"$d/v2-uninstalled.xml"
check_file_eq "Prepar3D v2: entry re-enabled, other add-on kept, retired program gone" \
    "$d/v2-installed.xml" "$v2/exe.xml"
check_file_eq "Prepar3D v2: existing SimConnect.xml unchanged" "$d/v2-SimConnect.xml" \
    "$v2/SimConnect.xml"
check_file_eq "Prepar3D v2: existing SimConnect.ini unchanged" "$d/v2-SimConnect.ini" \
    "$reg_docs/PrePar3D v2 Files/SimConnect.ini"
check_file_eq "Prepar3D v3: SimConnect.ini in its documents folder" "$d/simconnect.ini" \
    "$reg_docs/PrePar3D v3 Files/SimConnect.ini"
check_absent "Prepar3D v3: no add-on folder made" "$reg_appdata/Lockheed Martin/Prepar3D v3"
check_absent "FSX Steam Edition skipped" "$reg_appdata/Microsoft/FSX-SE"
check_absent "FSX Steam Edition: no documents folder made" \
    "$reg_docs/Flight Simulator X - Steam Edition Files"
check_absent "Prepar3D skipped" "$reg_appdata/Lockheed Martin/Prepar3D"
check_absent "Prepar3D: no documents folder made" "$reg_docs/PrePar3D Files"
check_eq "nothing left beside the written files" "SimConnect.xml exe.xml" "$(reg_ls "$fsx")"

(cd "$d" && wine_run "$d/install2.txt" "$d/Aviaro.exe" -INSTALL)
check_eq "a second -INSTALL exits 1" 1 $?
check_file_eq "FSX: a second install leaves exe.xml as it was" "$d/new-exe.xml" "$fsx/exe.xml"
check_file_eq "Prepar3D v2: a second install leaves exe.xml as it was" "$d/v2-installed.xml" \
    "$v2/exe.xml"

(cd "$d" && wine_run "$d/uninstall.txt" "$d/Aviaro.exe" -uninstall)
check_eq "-uninstall exits 1" 1 $?
check_file_eq "FSX: uninstall leaves exe.xml without the entry" "$d/new-empty.xml" "$fsx/exe.xml"
check_file_eq "Prepar3D v2: uninstall keeps the other add-ons and the comment" "$d/v2-uninstalled.xml" \
    "$v2/exe.xml"
check_file_eq "uninstall leaves SimConnect.xml" "$d/simconnect.xml" "$fsx/SimConnect.xml"
check_file_eq "uninstall leaves SimConnect.ini" "$d/simconnect.ini" \
    "$reg_docs/Flight Simulator X Files/SimConnect.ini"
check_absent "Prepar3D v3: uninstall makes no exe.xml" "$reg_appdata/Lockheed Martin/Prepar3D v3"
check_absent "the 64-bit simulators are not the i686 build's" "$reg_appdata/Microsoft Flight Simulator"

else

store20="$reg_local/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache"
steam20="$reg_appdata/Microsoft Flight Simulator"
store24="$reg_local/Packages/Microsoft.Limitless_8wekyb3d8bbwe/LocalCache"
steam24="$reg_appdata/Microsoft Flight Simulator 2024"
fsx="$reg_appdata/Microsoft/FSX"
# The real program in the real folders; the editor's cases (a disabled entry,
# a second install, both editions of 2024) are pinned by test_registration.
# 2020 from the Store: another add-on's exe.xml, LF line ends, the root typed
# as some tools write it. 2020 from Steam: no exe.xml yet. 2024 from the Store:
# the package folder without LocalCache, not installed. FSX: present, but not
# this build's.
mkdir -p "$store20" "$steam20" "$steam24" "$(dirname "$store24")" "$fsx" \
    "$reg_docs/Flight Simulator X Files"
store20_before=('<?xml version="1.0" encoding="Windows-1252"?>'
    '<SimBase.Document Type="SimConnect" version="1,0">'
    "  <Descr>Auto launch external applications on MSFS start</Descr>"
    "  <!-- traffic: keep -->"
    "  <Launch.Addon>" "    <Name>Traffic</Name>" "    <Path>D:\\Traffic\\traffic.exe</Path>"
    "  </Launch.Addon>")
printf '%s\n' "${store20_before[@]}" '</SimBase.Document>' >"$store20/exe.xml"
cp "$store20/exe.xml" "$d/store20-before.xml"
{ printf '%s\n' "${store20_before[@]}"
  printf '%s\n' "$T$T<Launch.Addon>" "$T$T$T<Name>Orlend Panel(s) Plugin for FSX</Name>" \
    "$T$T$T<Disabled>False</Disabled>" "$T$T$T<Path>$exe</Path>" \
    "$T$T$T<CommandLine>-run</CommandLine>" "$T$T</Launch.Addon>" '</SimBase.Document>'; } \
    >"$d/store20-installed.xml"

(cd "$d" && wine_run "$d/install.txt" "$d/Aviaro.exe" -install)
check_eq "x86-64 -install exits 1" 1 $?
check_file_eq "MSFS 2020 Store: the entry added before the root's end, every other byte kept" \
    "$d/store20-installed.xml" "$store20/exe.xml"
check_file_eq "MSFS 2020 Steam: new exe.xml with the entry for this executable" "$d/new-exe.xml" \
    "$steam20/exe.xml"
check_absent "MSFS 2024 Store: not installed, no LocalCache made" "$store24"
check_eq "MSFS: exe.xml only, no SimConnect files, nothing beside" \
    "exe.xml|exe.xml|exe.xml" "$(reg_ls "$store20")|$(reg_ls "$steam20")|$(reg_ls "$steam24")"
check_eq "FSX is not the x86-64 build's: its folders stay empty" "|" \
    "$(reg_ls "$fsx")|$(reg_ls "$reg_docs/Flight Simulator X Files")"

(cd "$d" && wine_run "$d/uninstall.txt" "$d/Aviaro.exe" -uninstall)
check_eq "x86-64 -uninstall exits 1" 1 $?
check_file_eq "MSFS 2020 Store: uninstall gives back the file as it was" "$d/store20-before.xml" \
    "$store20/exe.xml"
check_file_eq "MSFS 2020 Steam: uninstall leaves exe.xml without the entry" "$d/new-empty.xml" \
    "$steam20/exe.xml"
check_absent "MSFS 2024 Store: uninstall makes nothing" "$store24"

fi

reg_cleanup
unset -f reg_cleanup reg_lines reg_ls
unset reg_bits reg_user reg_appdata reg_local reg_docs reg_folders d exe fsx v2 T v2_head v2_retired \
    v2_own v2_tail v2_enabled store20 steam20 store24 steam24 store20_before
