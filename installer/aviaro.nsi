; The Aviaro installer. Built by the win32 CMake build (target "installer",
; installer/CMakeLists.txt), which passes:
;   VERSION      the release version, e.g. 1.0.0
;   AVIARO_EXE   the i686 Aviaro.exe
;   AVIARO_EXE64 the x86-64 Aviaro.exe
;   TUNELET32    the i686 Tunelet.dll
;   TUNELET64    the x86-64 Tunelet.dll
;   EXAMPLES     the examples folder (Aviaro.xml and gauges/)
;   GAUGE_LIST   a generated macro that deletes exactly the installed sample gauges
;   OUTFILE      the setup program to write
;
; Where the files go, and why:
;   $INSTDIR\Aviaro.exe         The i686 program, for the 32-bit simulators (FSX, its Steam
;                               edition, Prepar3D v1 to v3), which start it from here
;                               ("-run"); its "-install" writes this path into their exe.xml.
;   $INSTDIR\x64\Aviaro.exe     On 64-bit Windows only: the x86-64 program, for the 64-bit
;                               simulators (Microsoft Flight Simulator 2020 and 2024); its
;                               "-install" writes this path into their exe.xml. Its own
;                               folder, as each program keeps its saved page names
;                               (VelFlightMira.xml) beside itself.
;   $INSTDIR\x64\gauges\...    The sample gauges again, as a gauge's File is relative to
;                               the folder of the Aviaro.exe that reads it.
;   $INSTDIR\gauges\...         The sample gauges, folder for folder. A "Gauge" page whose
;                               RootFolder is neither Absolute nor Fsx finds its File
;                               relative to the folder of Aviaro.exe, so the sample
;                               configuration names them as gauges\<name>\gauge.xml.
;   $INSTDIR\Aviaro.xml         The sample configuration, kept beside the program as the
;                               user's reference copy.
;   <simulator folder>\Aviaro.xml
;                               The add-on reads Aviaro.xml from its current folder, and
;                               the simulator starts it in the simulator's own folder. The
;                               one simulator folder the add-on itself knows from the
;                               registry is FSX's SetupPath; when it is set and holds no
;                               Aviaro.xml yet, the sample is copied there. An existing one
;                               is the user's and is never replaced. Other simulators, the
;                               64-bit ones too: the user copies $INSTDIR\Aviaro.xml into the
;                               folder the simulator starts its add-ons in.
;   $INSTDIR\Tunelet.dll        The media-player plug-in for 32-bit players, registered
;                               with the 32-bit regsvr32.
;   $INSTDIR\x64\Tunelet.dll    On 64-bit Windows only: the plug-in for 64-bit players,
;                               registered with the 64-bit regsvr32.
;
; Uninstall runs "-uninstall" with each Aviaro.exe (each removes only its own
; exe.xml entries), unregisters what install registered, and deletes the files install
; wrote. Files the user added (other gauges) stay, and so does the simulator
; folder's Aviaro.xml once the user has changed it.

Unicode true
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh
!include "${GAUGE_LIST}"

!define PRODUCT "Aviaro"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Aviaro"
!define FSX_KEY "SOFTWARE\Microsoft\Microsoft Games\Flight Simulator\10.0"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; Program Files, HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE need an administrator.
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PRODUCT}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    ${IfNot} ${AtLeastWinVista}
        MessageBox MB_ICONSTOP "${PRODUCT} needs Windows Vista or later." /SD IDOK
        Abort
    ${EndIf}
FunctionEnd

; RegisterPlugin DLL 64BIT: regsvr32 /s on DLL, the 64-bit regsvr32 when 64BIT is 1.
; A failure is reported and leaves the error level at 2; the add-on itself still works.
!macro RegisterPlugin DLL IS64 UNDO
    ${If} ${IS64} == 1
        ${DisableX64FSRedirection}
    ${EndIf}
    ExecWait '"$SYSDIR\regsvr32.exe" /s ${UNDO} "${DLL}"' $0
    ${If} ${IS64} == 1
        ${EnableX64FSRedirection}
    ${EndIf}
    ${If} $0 != 0
        DetailPrint "regsvr32 ${UNDO} ${DLL} failed ($0)"
        MessageBox MB_ICONEXCLAMATION "Could not register or unregister ${DLL} with the media player (regsvr32 ${UNDO}: $0)." /SD IDOK
        SetErrorLevel 2
    ${EndIf}
!macroend

Section "Aviaro"
    SetOutPath "$INSTDIR"
    File "/oname=Aviaro.exe" "${AVIARO_EXE}"
    File "/oname=Tunelet.dll" "${TUNELET32}"
    File "/oname=Aviaro.xml" "${EXAMPLES}/Aviaro.xml"
    SetOutPath "$INSTDIR\gauges"
    File /r "${EXAMPLES}/gauges/*.*"
    SetOutPath "$INSTDIR"

    WriteUninstaller "$INSTDIR\Uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Aviaro.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    ; The configuration where FSX starts the add-on, unless the user has one there.
    ReadRegStr $1 HKLM "${FSX_KEY}" "SetupPath"
    ${If} $1 != ""
        StrCpy $2 $1 1 -1
        ${If} $2 == "\"
            StrCpy $1 $1 -1
        ${EndIf}
        ${If} ${FileExists} "$1\*.*"
        ${AndIfNot} ${FileExists} "$1\Aviaro.xml"
            ClearErrors
            CopyFiles /SILENT "$INSTDIR\Aviaro.xml" "$1\Aviaro.xml"
            ${IfNot} ${Errors}
                WriteRegStr HKLM "${UNINSTALL_KEY}" "SimulatorConfiguration" "$1\Aviaro.xml"
            ${EndIf}
        ${EndIf}
    ${EndIf}

    ; Into the exe.xml of every simulator of each program. Its exit code tells
    ; nothing (it is 1 whatever happened), so it is not checked.
    DetailPrint "Aviaro.exe -install"
    ExecWait '"$INSTDIR\Aviaro.exe" -install'

    !insertmacro RegisterPlugin "$INSTDIR\Tunelet.dll" 0 ""
    ${If} ${RunningX64}
        SetOutPath "$INSTDIR\x64"
        File "/oname=Aviaro.exe" "${AVIARO_EXE64}"
        File "/oname=Tunelet.dll" "${TUNELET64}"
        SetOutPath "$INSTDIR\x64\gauges"
        File /r "${EXAMPLES}/gauges/*.*"
        SetOutPath "$INSTDIR"
        DetailPrint "x64\Aviaro.exe -install"
        ExecWait '"$INSTDIR\x64\Aviaro.exe" -install'
        !insertmacro RegisterPlugin "$INSTDIR\x64\Tunelet.dll" 1 ""
    ${EndIf}
SectionEnd

; un.FilesEqual: pops two paths, pushes 1 when both files hold the same bytes.
Function un.FilesEqual
    Exch $R0
    Exch
    Exch $R1
    Push $R2
    Push $R3
    Push $R4
    Push $R5
    StrCpy $R5 0
    ClearErrors
    FileOpen $R2 $R0 r
    ${IfNot} ${Errors}
        FileOpen $R3 $R1 r
        ${IfNot} ${Errors}
            StrCpy $R5 1
            ${Do}
                ClearErrors
                FileReadByte $R2 $R0
                ${If} ${Errors}
                    ClearErrors
                    FileReadByte $R3 $R1
                    ${IfNot} ${Errors}
                        StrCpy $R5 0
                    ${EndIf}
                    ${ExitDo}
                ${EndIf}
                StrCpy $R4 $R0
                ClearErrors
                FileReadByte $R3 $R1
                ${If} ${Errors}
                ${OrIf} $R1 != $R4
                    StrCpy $R5 0
                    ${ExitDo}
                ${EndIf}
            ${Loop}
            FileClose $R3
        ${EndIf}
        FileClose $R2
    ${EndIf}
    StrCpy $R0 $R5
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Exch $R0
FunctionEnd

Section "Uninstall"
    ; Out of every simulator's exe.xml first, while the programs are still there.
    ${If} ${FileExists} "$INSTDIR\Aviaro.exe"
        DetailPrint "Aviaro.exe -uninstall"
        ExecWait '"$INSTDIR\Aviaro.exe" -uninstall'
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\x64\Aviaro.exe"
        DetailPrint "x64\Aviaro.exe -uninstall"
        ExecWait '"$INSTDIR\x64\Aviaro.exe" -uninstall'
    ${EndIf}

    ${If} ${RunningX64}
    ${AndIf} ${FileExists} "$INSTDIR\x64\Tunelet.dll"
        !insertmacro RegisterPlugin "$INSTDIR\x64\Tunelet.dll" 1 "/u"
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\Tunelet.dll"
        !insertmacro RegisterPlugin "$INSTDIR\Tunelet.dll" 0 "/u"
    ${EndIf}

    ; The copy in the simulator's folder goes only while it is still the sample.
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "SimulatorConfiguration"
    ${If} $1 != ""
        Push "$INSTDIR\Aviaro.xml"
        Push $1
        Call un.FilesEqual
        Pop $2
        ${If} $2 == 1
            Delete $1
        ${Else}
            DetailPrint "Kept $1: it was changed after installation."
        ${EndIf}
    ${EndIf}

    ; The sample gauges go file by file (DeleteSampleGauges), folders only once
    ; empty, so gauges the user added stay.
    Delete "$INSTDIR\x64\Tunelet.dll"
    Delete "$INSTDIR\x64\Aviaro.exe"
    ; Written by each program beside itself: the page each instrument panel showed last.
    Delete "$INSTDIR\x64\VelFlightMira.xml"
    !insertmacro DeleteSampleGauges "$INSTDIR\x64"
    RMDir "$INSTDIR\x64"
    Delete "$INSTDIR\Tunelet.dll"
    Delete "$INSTDIR\Aviaro.exe"
    Delete "$INSTDIR\Aviaro.xml"
    Delete "$INSTDIR\VelFlightMira.xml"
    !insertmacro DeleteSampleGauges "$INSTDIR"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
