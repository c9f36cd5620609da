# Tunelet.dll registered and unregistered with regsvr32, as an installer does:
# exactly the entries the player reads, written for the DLL's own path (here a
# folder with a space), and afterwards none of them while their parents stay.
if [ -f "$WINE_BUILD/bin/Tunelet.dll" ]; then
    tunelet_view=/reg:32
    [ "$WINEARCH" = win64 ] && tunelet_view=/reg:64
    tunelet_class='HKEY_CLASSES_ROOT\CLSID\{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}'
    tunelet_plugin='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\MediaPlayer\UIPlugins\{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}'
    d=$(case_dir tunelet)
    mkdir -p "$d/Media Plug-ins"
    cp "$WINE_BUILD/bin/Tunelet.dll" "$d/Media Plug-ins/"
    tunelet_path=$(win_path "$d/Media Plug-ins/Tunelet.dll")

    wine_run "$d/register.txt" regsvr32 /s "$tunelet_path"
    check_eq "Tunelet: regsvr32 succeeds" 0 $?
    # Both keys as "reg export" writes them, in UTF-8 with LF.
    for key in "$tunelet_class" "$tunelet_plugin"; do
        rm -f "$d/key.reg"
        wine_run "$d/export.txt" reg export "$key" "$(win_path "$d")\\key.reg" /y $tunelet_view
        iconv -f UTF-16 -t UTF-8 "$d/key.reg" 2>/dev/null | tr -d '\r' | sed 1,2d >>"$d/keys.txt"
    done
    printf '%s\n' "[$tunelet_class]" '@="Tunelet Class"' '' \
        "[$tunelet_class\\InprocServer32]" "@=\"${tunelet_path//\\/\\\\}\"" '"ThreadingModel"="Apartment"' '' \
        "[$tunelet_plugin]" '"Capabilities"=dword:40000001' '"Description"="res://Tunelet.dll/RT_STRING/#103"' \
        '"FriendlyName"="res://Tunelet.dll/RT_STRING/#102"' '' >"$d/keys-expected.txt"
    check_file_eq "Tunelet: the class names the DLL's path, apartment-threaded; a background plug-in" \
        "$d/keys-expected.txt" "$d/keys.txt"

    wine_run "$d/unregister.txt" regsvr32 /s /u "$tunelet_path"
    check_eq "Tunelet: regsvr32 /u succeeds" 0 $?
    tunelet_left=""
    for key in "$tunelet_class" "$tunelet_plugin" 'HKEY_CLASSES_ROOT\CLSID' "${tunelet_plugin%\\*}"; do
        wine_run "$d/query.txt" reg query "$key" $tunelet_view && tunelet_left="$tunelet_left $key"
    done
    check_eq "Tunelet: both keys removed, their parents kept" " HKEY_CLASSES_ROOT\\CLSID ${tunelet_plugin%\\*}" \
        "$tunelet_left"
fi
