# The setup program, silent, in the 32-bit prefix: what it installs, the
# version resources of what it carries, the exe.xml entry Aviaro.exe -install
# makes beside another add-on's, the media player's registry entries and the
# uninstall record; then the uninstaller: all of it gone, the other add-on, the
# rest of exe.xml, a gauge the user added and an edited configuration kept.
#
# The setup program is a 32-bit program and is built by the i686 build: it runs
# only with that build, in its 32-bit prefix (which is not 64-bit Windows, so
# the x86-64 files are not installed there), and only where 32-bit code runs.
# Otherwise the test is skipped, said so, and counted neither way.
inst_bits=${WINE_ARCH_BITS:-}
[ -n "$inst_bits" ] || { [ "$WINEARCH" = win32 ] && inst_bits=32 || inst_bits=64; }
if [ "$inst_bits" != 32 ]; then
    echo "skip installer: the setup program is built and tested with the i686 build, not this $inst_bits-bit one"
elif [ "${CAN_RUN_32:-yes}" != yes ]; then
    echo "skip installer: this machine cannot run 32-bit code, and the setup program is a 32-bit program"
else

inst_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$WINE_BUILD/CMakeCache.txt")
inst_setup="$WINE_BUILD/Aviaro-$inst_version-setup.exe"
d=$(case_dir installer)
cmake --build "$WINE_BUILD" --target installer >"$d/build.txt" 2>&1
inst_built=$?
check_eq "installer: Aviaro-$inst_version-setup.exe builds" 0 $inst_built
[ $inst_built -eq 0 ] || tail -5 "$d/build.txt"

if [ -f "$inst_setup" ]; then

inst_user=$(wine_user)
inst_fsx="$inst_user/AppData/Roaming/Microsoft/FSX"
inst_dir="$WINEPREFIX/drive_c/Program Files/Aviaro"
inst_sim="$d/Flight Simulator X"
inst_fsx_key='HKLM\SOFTWARE\Microsoft\Microsoft Games\Flight Simulator\10.0'
inst_uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Aviaro'
inst_clsid='{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}'
inst_keys=("HKEY_CLASSES_ROOT\\CLSID\\$inst_clsid"
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MediaPlayer\\UIPlugins\\$inst_clsid")
T=$'\t'
inst_cleanup() {
    rm -rf "$inst_fsx" "$inst_dir"
    wine_run "$d/reg-clean.txt" reg delete "$inst_fsx_key" /f
}
inst_cleanup

# Version resources: the strings of VS_VERSION_INFO (UTF-16) and the manifest.
for inst_bin in Aviaro.exe:Aviaro:"Aviaro flight simulator add-on" \
    Tunelet.dll:Tunelet:"Aviaro media player plug-in"; do
    IFS=: read -r inst_file inst_internal inst_descr <<<"$inst_bin"
    strings -el "$WINE_BUILD/bin/$inst_file" |
        sed -n '/^CompanyName$/,/^ProductVersion$/{p;n;p}' | paste -sd'|' >"$d/version.txt"
    check_eq "installer: $inst_file carries its version resource" \
        "CompanyName|Aviaro|FileDescription|$inst_descr|FileVersion|$inst_version.0|InternalName|$inst_internal|LegalCopyright|Copyright (C) Aviaro|OriginalFilename|$inst_file|ProductName|Aviaro|ProductVersion|$inst_version" \
        "$(cat "$d/version.txt")"
done
tr -d '\r\n' <"$WINE_BUILD/bin/Aviaro.exe" | grep -ao '<requestedExecutionLevel[^>]*>\|supportedOS Id="[^"]*"' |
    paste -sd' ' >"$d/manifest.txt"
check_eq "installer: Aviaro.exe's manifest runs it as the invoker on Vista to 11" \
    '<requestedExecutionLevel level="asInvoker" uiAccess="false"/> supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}" supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}" supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}" supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}" supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' \
    "$(cat "$d/manifest.txt")"

# FSX with another add-on, a comment and LF line ends; its install folder named
# in the registry.
mkdir -p "$inst_fsx" "$inst_sim"
printf '%s\n' '<?xml version="1.0" encoding="Windows-1252"?>' \
    '<SimBase.Document Type="Launch" version="1,0">' "$T<Descr>Launch</Descr>" \
    "$T<!-- traffic: keep -->" "$T<Launch.Addon>" "$T$T<Name>Traffic</Name>" \
    "$T$T<Path>C:\\Traffic\\traffic.exe</Path>" "$T</Launch.Addon>" '</SimBase.Document>' \
    >"$inst_fsx/exe.xml"
cp "$inst_fsx/exe.xml" "$d/exe-before.xml"
wine_reg_add "$d/reg.txt" "$inst_fsx_key" SetupPath "$(win_path "$inst_sim")\\"

wine_run "$d/install.txt" "$inst_setup" /S
check_eq "installer: /S exits 0" 0 $?

# Every file, and nothing else.
(cd "$inst_dir" 2>/dev/null && find . -mindepth 1 | LC_ALL=C sort) >"$d/files.txt"
inst_examples=$(cd "$here/../../examples" && pwd)
(cd "$inst_examples" && { printf '%s\n' ./Aviaro.exe ./Aviaro.xml ./Tunelet.dll ./Uninstall.exe ./gauges
    find gauges -mindepth 1 | sed 's|^|./|'; } | LC_ALL=C sort) >"$d/files-expected.txt"
check_file_eq "installer: the program, plug-in, configuration, gauges and uninstaller" \
    "$d/files-expected.txt" "$d/files.txt"
inst_same=""
for inst_f in Aviaro.exe Tunelet.dll; do
    cmp -s "$WINE_BUILD/bin/$inst_f" "$inst_dir/$inst_f" && inst_same="$inst_same $inst_f"
done
cmp -s "$inst_examples/Aviaro.xml" "$inst_dir/Aviaro.xml" && inst_same="$inst_same Aviaro.xml"
diff -r "$inst_examples/gauges" "$inst_dir/gauges" >/dev/null && inst_same="$inst_same gauges"
cmp -s "$inst_examples/Aviaro.xml" "$inst_sim/Aviaro.xml" && inst_same="$inst_same simulator"
check_eq "installer: files as built, the sample configuration also in the simulator's folder" \
    " Aviaro.exe Tunelet.dll Aviaro.xml gauges simulator" "$inst_same"

inst_exe="C:\\Program Files\\Aviaro\\Aviaro.exe"
{ head -n -1 "$d/exe-before.xml"; printf '%s\n' "$T$T<Launch.Addon>" "$T$T$T<Name>Orlend Panel(s) Plugin for FSX</Name>" \
    "$T$T$T<Disabled>False</Disabled>" "$T$T$T<Path>$inst_exe</Path>" \
    "$T$T$T<CommandLine>-run</CommandLine>" "$T$T</Launch.Addon>" '</SimBase.Document>'; } \
    >"$d/exe-installed.xml"
check_file_eq "installer: exe.xml gains the installed program's entry, the other add-on kept" \
    "$d/exe-installed.xml" "$inst_fsx/exe.xml"

# The plug-in's keys as "reg export" writes them, and the uninstall record.
inst_regs() {
    local key
    : >"$d/$1"
    for key in "${inst_keys[@]}" "$inst_uninst_key"; do
        rm -f "$d/key.reg"
        if wine_run "$d/export.txt" reg export "$key" "$(win_path "$d")\\key.reg" /y; then
            iconv -f UTF-16 -t UTF-8 "$d/key.reg" 2>/dev/null | tr -d '\r' | sed 1,2d >>"$d/$1"
        else
            echo "(no $key)" >>"$d/$1"
        fi
    done
}
inst_regs keys.txt
printf '%s\n' "[${inst_keys[0]}]" '@="Tunelet Class"' '' \
    "[${inst_keys[0]}\\InprocServer32]" '@="C:\\Program Files\\Aviaro\\Tunelet.dll"' \
    '"ThreadingModel"="Apartment"' '' \
    "[${inst_keys[1]}]" '"Capabilities"=dword:40000001' '"Description"="res://Tunelet.dll/RT_STRING/#103"' \
    '"FriendlyName"="res://Tunelet.dll/RT_STRING/#102"' '' \
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Aviaro]" \
    '"DisplayIcon"="C:\\Program Files\\Aviaro\\Aviaro.exe"' '"DisplayName"="Aviaro"' \
    "\"DisplayVersion\"=\"$inst_version\"" '"InstallLocation"="C:\\Program Files\\Aviaro"' \
    '"NoModify"=dword:00000001' '"NoRepair"=dword:00000001' '"Publisher"="Aviaro"' \
    '"QuietUninstallString"="\"C:\\Program Files\\Aviaro\\Uninstall.exe\" /S"' \
    "\"SimulatorConfiguration\"=\"$(win_path "$inst_sim" | sed 's/\\/\\\\/g')\\\\Aviaro.xml\"" \
    '"UninstallString"="\"C:\\Program Files\\Aviaro\\Uninstall.exe\""' '' \
    >"$d/keys-expected.txt"
check_file_eq "installer: plug-in registered for the installed DLL, uninstall record written" \
    "$d/keys-expected.txt" "$d/keys.txt"

# The uninstaller waits instead of copying itself away when the command line
# ends in _?=<folder>, unquoted even with a space in it: a batch file passes it so.
inst_uninstall() {
    printf '"C:\\Program Files\\Aviaro\\Uninstall.exe" /S _?=C:\\Program Files\\Aviaro\r\nexit /b %%errorlevel%%\r\n' \
        >"$d/uninstall.bat"
    wine_run "$d/$1" cmd /c "$(win_path "$d/uninstall.bat")"
}

# A gauge of the user's own.
mkdir -p "$inst_dir/gauges/Mine"
printf '<Gauge/>\n' >"$inst_dir/gauges/Mine/gauge.xml"
inst_uninstall uninstall.txt
check_eq "installer: the uninstaller exits 0" 0 $?
(cd "$inst_dir" && find . -mindepth 1 | LC_ALL=C sort | paste -sd' ') >"$d/left.txt"
check_eq "installer: uninstall removes every installed file, keeps the user's gauge" \
    "./Uninstall.exe ./gauges ./gauges/Mine ./gauges/Mine/gauge.xml" "$(cat "$d/left.txt")"
check_absent "installer: the unchanged sample leaves the simulator's folder" "$inst_sim/Aviaro.xml"
check_file_eq "installer: exe.xml back to its bytes before the install" "$d/exe-before.xml" \
    "$inst_fsx/exe.xml"
inst_regs keys-after.txt
printf '(no %s)\n' "${inst_keys[@]}" "$inst_uninst_key" >"$d/keys-after-expected.txt"
check_file_eq "installer: plug-in keys and uninstall record gone" "$d/keys-after-expected.txt" \
    "$d/keys-after.txt"

# Again, and the pilot edits the simulator's copy (its last byte, a line end,
# becomes a blank: the length stays): uninstall keeps it as it is.
rm -rf "$inst_dir"
wine_run "$d/install2.txt" "$inst_setup" /S
check_eq "installer: a second install exits 0" 0 $?
{ head -c -1 "$inst_sim/Aviaro.xml"; printf ' '; } >"$d/edited.xml"
cp "$d/edited.xml" "$inst_sim/Aviaro.xml"
inst_uninstall uninstall2.txt
check_eq "installer: the second uninstall exits 0" 0 $?
check_file_eq "installer: the edited configuration in the simulator's folder is kept" \
    "$d/edited.xml" "$inst_sim/Aviaro.xml"

# Once more with that configuration already in the simulator's folder: it is the
# pilot's, neither replaced nor removed.
rm -rf "$inst_dir"
wine_run "$d/install3.txt" "$inst_setup" /S
inst_codes=$?
check_file_eq "installer: an existing configuration in the simulator's folder is not replaced" \
    "$d/edited.xml" "$inst_sim/Aviaro.xml"
inst_uninstall uninstall3.txt
check_eq "installer: third install and uninstall exit 0" "0 0" "$inst_codes $?"
check_file_eq "installer: nor removed by the uninstaller" "$d/edited.xml" "$inst_sim/Aviaro.xml"

inst_cleanup
unset -f inst_cleanup inst_regs inst_uninstall
fi
unset inst_built inst_codes inst_version inst_setup inst_user inst_fsx inst_dir inst_sim inst_fsx_key inst_uninst_key \
    inst_clsid inst_keys inst_bin inst_file inst_internal inst_descr inst_exe inst_same inst_f \
    inst_examples d T
fi
unset inst_bits
