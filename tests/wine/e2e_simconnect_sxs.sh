# The shipped Aviaro.exe finds SimConnect.dll where the simulators put it: in
# the shared side-by-side assembly Microsoft.FlightSimulator.SimConnect under
# C:\windows\winsxs, with no copy beside the program. The stand-in is installed
# there as the oldest published version, so every newer version is tried and
# refused first; the assembly is removed again afterwards, so that the other
# scripts still see a prefix without it.
if [ "$WINEARCH" = win32 ]; then

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
cat >"$d/expected.txt" <<'EXPECTED'
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
# The connection's own calls; what the pages and panels define in between is
# checked elsewhere.
grep -E '^(SimConnect_(Open|SubscribeToSystemEvent|CallDispatch|Close) |deliver )' \
    "$d/record.txt" >"$d/session.txt"
check_file_eq "the side-by-side SimConnect.dll served the whole session" \
    "$d/expected.txt" "$d/session.txt"
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

fi
