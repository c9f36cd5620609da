// The Windows calls behind platform/hid_device.h, as a table: the shipped
// program uses the system's functions; a test replaces the table with
// simulated units (hid_virtual_win32.cpp) and runs the same code path.
#pragma once

#include <windows.h>

extern "C" {
#include <hidsdi.h>
}

namespace av::platform {

struct HidWin32Functions {
    HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* closeHandle)(HANDLE);
    BOOLEAN(NTAPI* getAttributes)(HANDLE, PHIDD_ATTRIBUTES);
    BOOLEAN(NTAPI* getPreparsedData)(HANDLE, PHIDP_PREPARSED_DATA*);
    BOOLEAN(NTAPI* freePreparsedData)(PHIDP_PREPARSED_DATA);
    NTSTATUS(NTAPI* getCaps)(PHIDP_PREPARSED_DATA, PHIDP_CAPS);
    BOOLEAN(NTAPI* setFeature)(HANDLE, PVOID, ULONG);
    BOOLEAN(NTAPI* getFeature)(HANDLE, PVOID, ULONG);
    BOOLEAN(NTAPI* getSerialNumberString)(HANDLE, PVOID, ULONG);
    BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* getOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
    BOOL(WINAPI* cancelIoEx)(HANDLE, LPOVERLAPPED);
    // The device paths of the HID interfaces present, as a list of strings
    // each ended by a zero with an empty one at the end; returns the units
    // the whole list needs and writes it only when chars can hold it. Null:
    // SetupAPI's list (hid_notify_win32.cpp).
    DWORD(WINAPI* listInterfaces)(LPWSTR buffer, DWORD chars);
};

// The system's functions.
HidWin32Functions SystemHidFunctions();
// Replaces the table in use (before any HID handle is opened).
void UseHidFunctions(const HidWin32Functions& functions);
const HidWin32Functions& HidFunctionsInUse();
// The table whose handles are the simulated units of VirtualHidAttach
// (hid_virtual_win32.cpp; tests and the HID stand-in only).
HidWin32Functions VirtualHidFunctions();

// What a HID stand-in library (tools/hid_standin) exports: its table.
inline constexpr char kHidStandInExport[] = "HidStandIn_Functions";
using HidStandInFunctionsProc = const HidWin32Functions*(WINAPI*)();

}  // namespace av::platform
