# The shipped Aviaro.exe -install and -uninstall against the user's folders of
# the prefix, in which two simulators are present (one with files of its own),
# one has only its documents folder and two are missing.
if [ "$WINEARCH" = win32 ]; then

reg_user=$(wine_user)
reg_appdata="$reg_user/AppData/Roaming"
reg_docs="$reg_user/Documents"

# Every simulator folder this script may make: removed before and after, so a
# run starts from the same prefix and leaves it as it found it.
reg_folders=(
    "$reg_appdata/Microsoft/FSX" "$reg_appdata/Microsoft/FSX-SE" "$reg_appdata/Lockheed Martin"
    "$reg_docs/Flight Simulator X Files" "$reg_docs/Flight Simulator X - Steam Edition Files"
    "$reg_docs/PrePar3D Files" "$reg_docs/PrePar3D v2 Files" "$reg_docs/PrePar3D v3 Files")
reg_cleanup() { local f; for f in "${reg_folders[@]}"; do rm -rf "$f"; done; }
reg_cleanup

# lines TEXT...: each text followed by CR LF.
reg_lines() { local l; for l in "$@"; do printf '%s\r\n' "$l"; done; }
T=$'\t'

d=$(case_dir registration)
cp "$WINE_BUILD/bin/Aviaro.exe" "$d/"
exe=$(win_path "$d/Aviaro.exe")

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

reg_lines '<?xml version="1.0" encoding="Windows-1252"?>' \
    '<SimBase.Document Type="Launch" version="1,0">' \
    "$T<Descr>Launch</Descr>" "$T<Filename>exe.xml</Filename>" "$T<Disabled>False</Disabled>" \
    "$T<Launch.ManualLoad>False</Launch.ManualLoad>" "" >"$d/fsx-head.xml"
cp "$d/fsx-head.xml" "$d/fsx-exe.xml"
reg_lines "$T$T<Launch.Addon>" "$T$T$T<Name>Orlend Panel(s) Plugin for FSX</Name>" \
    "$T$T$T<Disabled>False</Disabled>" "$T$T$T<Path>$exe</Path>" \
    "$T$T$T<CommandLine>-run</CommandLine>" "$T$T</Launch.Addon>" "" \
    '</SimBase.Document>' >>"$d/fsx-exe.xml"
# Uninstall takes out the entry's own lines and nothing else.
cp "$d/fsx-head.xml" "$d/fsx-empty.xml"
reg_lines "" '</SimBase.Document>' >>"$d/fsx-empty.xml"
check_file_eq "FSX: new exe.xml with the entry for this executable" "$d/fsx-exe.xml" "$fsx/exe.xml"

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
check_eq "nothing left beside the written files" "SimConnect.xml exe.xml" \
    "$(cd "$fsx" && LC_ALL=C ls -A | tr '\n' ' ' | sed 's/ $//')"

(cd "$d" && wine_run "$d/install2.txt" "$d/Aviaro.exe" -INSTALL)
check_eq "a second -INSTALL exits 1" 1 $?
check_file_eq "FSX: a second install leaves exe.xml as it was" "$d/fsx-exe.xml" "$fsx/exe.xml"
check_file_eq "Prepar3D v2: a second install leaves exe.xml as it was" "$d/v2-installed.xml" \
    "$v2/exe.xml"

(cd "$d" && wine_run "$d/uninstall.txt" "$d/Aviaro.exe" -uninstall)
check_eq "-uninstall exits 1" 1 $?
check_file_eq "FSX: uninstall leaves exe.xml without the entry" "$d/fsx-empty.xml" "$fsx/exe.xml"
check_file_eq "Prepar3D v2: uninstall keeps the other add-ons and the comment" "$d/v2-uninstalled.xml" \
    "$v2/exe.xml"
check_file_eq "uninstall leaves SimConnect.xml" "$d/simconnect.xml" "$fsx/SimConnect.xml"
check_file_eq "uninstall leaves SimConnect.ini" "$d/simconnect.ini" \
    "$reg_docs/Flight Simulator X Files/SimConnect.ini"
check_absent "Prepar3D v3: uninstall makes no exe.xml" "$reg_appdata/Lockheed Martin/Prepar3D v3"

reg_cleanup
unset reg_user reg_appdata reg_docs reg_folders d exe fsx v2 T v2_head v2_retired v2_own v2_tail \
    v2_enabled

fi
