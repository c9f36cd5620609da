# The device-library stand-in built as Lumiray.dll, found through the registry
# value the program reads, loaded with LoadLibraryW and called through the
# binding: each entry point the program uses must reach it with its arguments.
lumiray_test="$WINE_BUILD/tests/lumiray/lumiray_binding_test.exe"
if [ -f "$lumiray_test" ] && [ -f "$WINE_BUILD/bin/Lumiray.dll" ]; then
    lumiray_key='HKLM\SOFTWARE\Orlend\Lumiray'
    # Name the view the test reads, whichever reg.exe runs.
    lumiray_view=/reg:32
    [ "$WINEARCH" = win64 ] && lumiray_view=/reg:64
    d=$(case_dir lumiray-dll)
    printf 'device tarvex\ndevice mira MIRA-E2E\n' >"$d/script.txt"
    wine_reg_add "$d/reg.txt" "$lumiray_key" LumirayX86 "$(win_path "$WINE_BUILD/bin/Lumiray.dll")" $lumiray_view
    (cd "$d" && AVIARO_LUMIRAY_E2E=1 AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/script.txt")" \
        AVIARO_LUMIRAY_RECORD="$(win_path "$d/record.txt")" \
        wine_run "$d/out.txt" "$lumiray_test" --gtest_filter='LumirayModule.*')
    rc=$?
    if [ $rc -eq 0 ] && grep -q '^\[  PASSED  \] 1 test' "$d/out.txt"; then
        pass "Lumiray.dll through the registry: each used entry point reached with its arguments"
    else
        fail "Lumiray.dll through the registry" "exit $rc, see $d/out.txt"
        tail -30 "$d/out.txt"
    fi
    wine_run "$d/reg-delete.txt" reg delete "$lumiray_key" $lumiray_view /v LumirayX86 /f
fi
