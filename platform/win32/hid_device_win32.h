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
};

// The system's functions.
HidWin32Functions SystemHidFunctions();
// Replaces the table in use (before any HID handle is opened).
void UseHidFunctions(const HidWin32Functions& functions);

}  // namespace av::platform
