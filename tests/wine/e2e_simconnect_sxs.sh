# The shipped Aviaro.exe finds SimConnect.dll where the simulators put it, with
# no copy beside the program.
#
# i686: in the shared side-by-side assembly Microsoft.FlightSimulator.SimConnect
# under C:\windows\winsxs. The stand-in is installed there as the oldest
# published version, so every newer version is tried and refused first; the
# assembly is removed again afterwards, so that the other scripts still see a
# prefix without it.
#
# x86-64: the x86 assembly cannot load into a 64-bit process; the program looks
# in the SDK folder of the 64-bit simulators named by MSFS_SDK or MSFS2024_SDK,
# "<SDK>\SimConnect SDK\lib\SimConnect.dll".

# sxs_check_session NAME DIR: the connection's own calls in DIR/record.txt are
# a whole scripted session (what the pages and panels define in between is
# checked elsewhere).
sxs_check_session() {
    cat >"$2/expected.txt" <<'EXPECTED'
SimConnect_Open name="Orlend Flight Sim X Plugin" window=0 userEvent=0 event=set config=0 -> 00000000
SimConnect_SubscribeToSystemEvent id=1 name="SimStart" -> 00000000
SimConnect_SubscribeToSystemEvent id=2 name="SimStop" -> 00000000
SimConnect_SubscribeToSystemEvent id=3 name="Paused" -> 00000000
SimConnect_SubscribeToSystemEvent id=4 name="Unpaused" -> 00000000
SimConnect_CallDispatch -> 00000000
deliver EVENT id=1
SimConnect_CallDispatch -> 00000000
deliver QUIT
SimConnect_Close -> 00000000
EXPECTED
    grep -E '^(SimConnect_(Open|SubscribeToSystemEvent|CallDispatch|Close) |deliver )' \
        "$2/record.txt" >"$2/session.txt" 2>/dev/null
    check_file_eq "$1" "$2/expected.txt" "$2/session.txt"
}

if [ "$WINE_ARCH_BITS" = 32 ]; then

sxs_root="$WINEPREFIX/drive_c/windows/winsxs"
sxs_name=x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_10.0.60905.0_none_a1b2c3d4e5f60718

sxs_install() {
    mkdir -p "$sxs_root/$sxs_name" "$sxs_root/manifests"
    cp "$WINE_BUILD/bin/SimConnect.dll" "$sxs_root/$sxs_name/SimConnect.dll"
    cat >"$sxs_root/manifests/$sxs_name.manifest" <<'MANIFEST'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="Microsoft.FlightSimulator.SimConnect" version="10.0.60905.0" processorArchitecture="x86" publicKeyToken="67c7c14424d61b5b"/>
  <file name="SimConnect.dll"/>
</assembly>
MANIFEST
}

sxs_remove() {
    rm -rf "${sxs_root:?}/$sxs_name" "$sxs_root/manifests/$sxs_name.manifest"
}

sxs_install
d=$(case_dir simconnect-sxs)
cp "$WINE_BUILD/bin/Aviaro.exe" "$d/"
printf 'SimStart\nquit\n' >"$d/script.txt"
temp_dir="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/Temp"
[ -d "$temp_dir" ] || temp_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp 2>/dev/null | head -1)
(cd "$d" && AVIARO_SIM_SCRIPT="$d/script.txt" AVIARO_SIM_RECORD="$d/record.txt" \
    wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "-run with SimConnect only in WinSxS serves the script and exits 0" 0 $?
sxs_check_session "the side-by-side SimConnect.dll served the whole session" "$d"
if [ -n "$temp_dir" ] && ls "$temp_dir" | grep -qi '^Aviaro-.*\.manifest$'; then
    fail "no temporary manifest is left behind" "$(ls "$temp_dir")"
else
    pass "no temporary manifest is left behind"
fi
sxs_remove

# Without the assembly (and without a copy beside it) the run cannot start.
d=$(case_dir simconnect-sxs-removed)
cp "$WINE_BUILD/bin/Aviaro.exe" "$d/"
(cd "$d" && wine_run "$d/out.txt" "$d/Aviaro.exe" -run)
check_eq "-run after the assembly is removed exits with -1" 255 $?

else

sdk_debug_key='HKLM\SOFTWARE\Orlend\Lumiray\Debug'

# The SDK as its installer leaves it; the variable ends in a backslash.
d=$(case_dir simconnect-sdk)
sdk="$d/MSFS SDK"
mkdir -p "$d/program" "$sdk/SimConnect SDK/lib"
cp "$WINE_BUILD/bin/Aviaro.exe" "$d/program/"
cp "$WINE_BUILD/bin/SimConnect.dll" "$sdk/SimConnect SDK/lib/"
check_absent "no SimConnect.dll beside the x86-64 Aviaro.exe" "$d/program/SimConnect.dll"
printf 'SimStart\nquit\n' >"$d/script.txt"
wine_reg_add "$d/reg.txt" "$sdk_debug_key" Aviaro "$(win_path "$d")\\trace.txt"
(unset MSFS2024_SDK; cd "$d/program" && MSFS_SDK="$(win_path "$sdk")\\" \
    AVIARO_SIM_SCRIPT="$d/script.txt" AVIARO_SIM_RECORD="$d/record.txt" \
    wine_run "$d/out.txt" "$d/program/Aviaro.exe" -run)
check_eq "-run with SimConnect.dll only in the MSFS_SDK folder serves the script and exits 0" 0 $?
sxs_check_session "the SDK's SimConnect.dll served the whole session" "$d"
# Found at the second place: the trace is the i686 build's, naming no place
# (its first line after the separator is the open).
check_eq "a run that finds the SDK's library traces no place it tried" \
    "  CAviaroBase::InitSimConnect - SimConnect_Open returned 00000000" "$(sed -n 3p "$d/trace.txt" | tr -d '\r')"

# Neither variable names a folder holding the library: every place tried is
# traced, then the open fails.
d=$(case_dir simconnect-sdk-missing)
mkdir -p "$d/program" "$d/MSFS 2024 SDK/SimConnect SDK/lib"
cp "$WINE_BUILD/bin/Aviaro.exe" "$d/program/"
wine_reg_add "$d/reg.txt" "$sdk_debug_key" Aviaro "$(win_path "$d")\\trace.txt"
(unset MSFS_SDK; cd "$d/program" && MSFS2024_SDK="$(win_path "$d/MSFS 2024 SDK")" \
    wine_run "$d/out.txt" "$d/program/Aviaro.exe" -run)
check_eq "-run with MSFS_SDK unset and no library in MSFS2024_SDK exits with -1" 255 $?
{ printf '\r\n------\r\n'; printf '%s\r\n' \
    "  CSimConnectLibrary::Instance - SimConnect.dll not loaded from $(win_path "$d/program")\\SimConnect.dll" \
    "  CSimConnectLibrary::Instance - SimConnect.dll not loaded from $(win_path "$d/MSFS 2024 SDK")\\SimConnect SDK\\lib\\SimConnect.dll" \
    "  CAviaroBase::InitSimConnect - SimConnect_Open returned 80004001"; } >"$d/expected.txt"
check_file_eq "the trace names the program's folder and the SDK folder tried, then the failed open" \
    "$d/expected.txt" "$d/trace.txt"
wine_run "$d/reg.txt" reg delete "$sdk_debug_key" /v Aviaro /f

fi
