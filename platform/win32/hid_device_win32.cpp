// HID device I/O through hid.dll and overlapped ReadFile, by way of a table
// of functions that a test can fill with simulated units.
#include "platform/win32/hid_device_win32.h"

extern "C" {
#include <hidpi.h>
}

#include "platform/hid_device.h"

namespace av::platform {
namespace {

HidWin32Functions g_functions = SystemHidFunctions();

}  // namespace

HidWin32Functions SystemHidFunctions() {
    HidWin32Functions f;
    f.createFile = &CreateFileW;
    f.closeHandle = &CloseHandle;
    f.getAttributes = &HidD_GetAttributes;
    f.getPreparsedData = &HidD_GetPreparsedData;
    f.freePreparsedData = &HidD_FreePreparsedData;
    f.getCaps = &HidP_GetCaps;
    f.setFeature = &HidD_SetFeature;
    f.getFeature = &HidD_GetFeature;
    f.getSerialNumberString = &HidD_GetSerialNumberString;
    f.readFile = &ReadFile;
    f.getOverlappedResult = &GetOverlappedResult;
    f.cancelIoEx = &CancelIoEx;
    f.listInterfaces = nullptr;
    return f;
}

void UseHidFunctions(const HidWin32Functions& functions) { g_functions = functions; }

const HidWin32Functions& HidFunctionsInUse() { return g_functions; }

Handle HidOpen(const std::wstring& path, bool overlapped) {
    HANDLE h = g_functions.createFile(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

void HidClose(Handle device) {
    if (device != nullptr) g_functions.closeHandle(device);
}

bool HidGetIds(Handle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof attributes;  // 12
    if (!g_functions.getAttributes(device, &attributes)) return false;
    vendorId = attributes.VendorID;
    productId = attributes.ProductID;
    return true;
}

bool HidGetInputReportLength(Handle device, std::uint32_t& length) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!g_functions.getPreparsedData(device, &preparsed)) return false;
    HIDP_CAPS caps = {};
    const NTSTATUS status = g_functions.getCaps(preparsed, &caps);
    g_functions.freePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) return false;
    length = caps.InputReportByteLength;
    return true;
}

bool HidSetFeature(Handle device, const std::uint8_t* report, std::uint32_t length) {
    return g_functions.setFeature(device, const_cast<std::uint8_t*>(report), length) != FALSE;
}

bool HidGetFeature(Handle device, std::uint8_t* report, std::uint32_t length) {
    return g_functions.getFeature(device, report, length) != FALSE;
}

bool HidGetSerialNumber(Handle device, wchar_t* buffer, std::uint32_t bytes) {
    return g_functions.getSerialNumberString(device, buffer, bytes) != FALSE;
}

Handle HidCreateStopEvent() { return CreateEventW(nullptr, FALSE, FALSE, nullptr); }

void HidSignalStopEvent(Handle stop) {
    if (stop != nullptr) SetEvent(stop);
}

void HidCloseStopEvent(Handle stop) {
    if (stop != nullptr) CloseHandle(stop);
}

HidReadResult HidReadInput(Handle device, Handle stop, std::uint8_t* buffer,
                           std::uint32_t length, std::uint32_t& bytesRead) {
    bytesRead = 0;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return HidReadResult::NoEvent;
    if (!g_functions.readFile(device, buffer, length, nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        // Nothing is pending (a unit that is gone): only stop ends the wait.
        CloseHandle(overlapped.hEvent);
        WaitForSingleObject(stop, INFINITE);
        return HidReadResult::Stopped;
    }
    HANDLE waits[2] = {overlapped.hEvent, stop};
    const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    DWORD got = 0;
    HidReadResult result;
    if (which == WAIT_OBJECT_0) {
        result = g_functions.getOverlappedResult(device, &overlapped, &got, FALSE)
                     ? HidReadResult::Data
                     : HidReadResult::Failed;
    } else {
        // The read may still be pending: cancel it and wait until the driver
        // has let go of the buffer before it can be freed.
        g_functions.cancelIoEx(device, &overlapped);
        g_functions.getOverlappedResult(device, &overlapped, &got, TRUE);
        got = 0;
        result = HidReadResult::Stopped;
    }
    CloseHandle(overlapped.hEvent);
    bytesRead = got;
    return result;
}

bool HidWaitStop(Handle stop, std::uint32_t milliseconds) {
    return WaitForSingleObject(stop, milliseconds) == WAIT_OBJECT_0;
}

}  // namespace av::platform
