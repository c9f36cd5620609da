# Tunelet.dll registered and unregistered with regsvr32, as an installer does:
# exactly the entries the player reads, written for the DLL's own path (here a
# folder with a space), and afterwards none of them while their parents stay.
tunelet_dll="$WINE_BUILD/bin/Tunelet.dll"
if [ -f "$tunelet_dll" ]; then
    tunelet_view=/reg:32
    [ "$WINEARCH" = win64 ] && tunelet_view=/reg:64
    tunelet_id='{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}'
    tunelet_class="HKEY_CLASSES_ROOT\\CLSID\\$tunelet_id"
    tunelet_plugins='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\MediaPlayer\UIPlugins'
    d=$(case_dir tunelet)
    mkdir -p "$d/Media Plug-ins"
    cp "$tunelet_dll" "$d/Media Plug-ins/"
    tunelet_path=$(win_path "$d/Media Plug-ins/Tunelet.dll")

    # tunelet_export NAME KEY: the key as "reg export" writes it, in UTF-8 with LF.
    tunelet_export() {
        rm -f "$d/$1.reg"
        wine_run "$d/$1-export.txt" reg export "$2" "$(win_path "$d")\\$1.reg" /y $tunelet_view
        iconv -f UTF-16 -t UTF-8 "$d/$1.reg" 2>/dev/null | tr -d '\r' >"$d/$1.txt"
    }

    wine_run "$d/register.txt" regsvr32 /s "$tunelet_path"
    check_eq "Tunelet: regsvr32 succeeds" 0 $?
    printf '%s\n' 'Windows Registry Editor Version 5.00' '' \
        "[$tunelet_class]" '@="Tunelet Class"' '' \
        "[$tunelet_class\\InprocServer32]" "@=\"${tunelet_path//\\/\\\\}\"" \
        '"ThreadingModel"="Apartment"' '' >"$d/class-expected.txt"
    tunelet_export class "$tunelet_class"
    check_file_eq "Tunelet: the class id names the DLL's path, apartment-threaded" \
        "$d/class-expected.txt" "$d/class.txt"
    printf '%s\n' 'Windows Registry Editor Version 5.00' '' \
        "[$tunelet_plugins\\$tunelet_id]" '"Capabilities"=dword:40000001' \
        '"Description"="res://Tunelet.dll/RT_STRING/#103"' \
        '"FriendlyName"="res://Tunelet.dll/RT_STRING/#102"' '' >"$d/plugin-expected.txt"
    tunelet_export plugin "$tunelet_plugins\\$tunelet_id"
    check_file_eq "Tunelet: a background plug-in the player starts, named from the string table" \
        "$d/plugin-expected.txt" "$d/plugin.txt"

    wine_run "$d/unregister.txt" regsvr32 /s /u "$tunelet_path"
    check_eq "Tunelet: regsvr32 /u succeeds" 0 $?
    tunelet_gone=""
    for key in "$tunelet_class" "$tunelet_plugins\\$tunelet_id"; do
        wine_run "$d/query.txt" reg query "$key" $tunelet_view && tunelet_gone="$tunelet_gone $key"
    done
    check_eq "Tunelet: unregistration removes both keys" "" "$tunelet_gone"
    tunelet_kept=""
    for key in 'HKEY_CLASSES_ROOT\CLSID' "$tunelet_plugins"; do
        wine_run "$d/query.txt" reg query "$key" $tunelet_view && tunelet_kept="$tunelet_kept $key"
    done
    check_eq "Tunelet: their parents stay" " HKEY_CLASSES_ROOT\\CLSID $tunelet_plugins" \
        "$tunelet_kept"
fi
