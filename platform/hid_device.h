// HID device I/O for the USB panels: opening a device path, its vendor and
// product ids, the input report length, feature reports in and out, the serial
// number, and an overlapped input read that a stop event interrupts.
//
// Windows: CreateFileW, hid.dll (HidD_*, HidP_GetCaps) and ReadFile with an
// OVERLAPPED, reached through a small table of functions so that a test can put
// simulated units behind the same code path. Elsewhere: units on the virtual
// HID bus (hid_notify.h), which tests attach, feed with input reports and read
// back the feature reports written to.
//
// A read that the stop event interrupts is cancelled and waited for before
// HidReadInput returns: no read ever completes into a buffer after that.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace av::platform {

// A device handle (CreateFileW with GENERIC_READ | GENERIC_WRITE, sharing
// FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING); null on failure.
Handle HidOpen(const std::wstring& path, bool overlapped);
void HidClose(Handle device);

// HidD_GetAttributes.
bool HidGetIds(Handle device, std::uint16_t& vendorId, std::uint16_t& productId);
// HidD_GetPreparsedData and HidP_GetCaps: the caps' InputReportByteLength.
bool HidGetInputReportLength(Handle device, std::uint32_t& length);
// HidD_SetFeature / HidD_GetFeature; byte 0 is the report ID.
bool HidSetFeature(Handle device, const std::uint8_t* report, std::uint32_t length);
bool HidGetFeature(Handle device, std::uint8_t* report, std::uint32_t length);
// HidD_GetSerialNumberString into a buffer of bytes bytes.
bool HidGetSerialNumber(Handle device, wchar_t* buffer, std::uint32_t bytes);

// An auto-reset, initially non-signalled event that ends a reader's wait.
Handle HidCreateStopEvent();
void HidSignalStopEvent(Handle stop);
void HidCloseStopEvent(Handle stop);

enum class HidReadResult {
    Data,     // a report: bytesRead bytes in buffer
    Failed,   // the read completed with an error (skip it and read again)
    Stopped,  // the stop event was signalled; nothing is pending any more
    NoEvent,  // no event for the read could be made (try again later)
};

// One overlapped read of length bytes on a handle opened with overlapped true,
// waiting for it or for stop, whichever comes first. A read that cannot be
// started waits for stop: a unit that is gone does not make its reader spin.
HidReadResult HidReadInput(Handle device, Handle stop, std::uint8_t* buffer,
                           std::uint32_t length, std::uint32_t& bytesRead);
// Waits up to milliseconds for stop (a reader's pause before trying again);
// true when it was signalled.
bool HidWaitStop(Handle stop, std::uint32_t milliseconds);

// Simulated units, for tests. Off Windows they live on the virtual HID bus;
// on Windows they are put behind the Windows code path through its function
// table (the first VirtualHidAttach installs it). Paths compare without case,
// as Windows device paths do.
struct VirtualHidUnit {
    std::wstring path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::wstring serial;
    std::uint32_t inputReportLength = 0;
    // What a feature read returns (cut or padded to the length asked);
    // empty: the read fails.
    std::vector<std::uint8_t> feature;
};
void VirtualHidAttach(const VirtualHidUnit& unit);
// The unit goes: pending reads fail, every later call on its handles fails.
void VirtualHidUnplug(const std::wstring& path);
// Delivers an input report to every reader of the unit (each open overlapped
// handle keeps its own queue, as each Windows handle does).
void VirtualHidFeed(const std::wstring& path, const std::vector<std::uint8_t>& report);
// Waits until every report fed to the unit has been taken and each of its
// readers is waiting in a new read (so the reports before it are handled);
// false after timeoutMs.
bool VirtualHidWaitIdle(const std::wstring& path, std::uint32_t timeoutMs = 5000);
// The feature reports written to the unit since the last call, oldest first.
std::vector<std::vector<std::uint8_t>> VirtualHidTakeWritten(const std::wstring& path);
// How many handles on the unit are open now, and were ever opened.
int VirtualHidOpenHandles(const std::wstring& path);
int VirtualHidOpenCount(const std::wstring& path);
// While held, a unit's reads do not end when stopped (a driver that does not
// let go); releasing lets them end.
void VirtualHidHoldReads(const std::wstring& path, bool hold);
// Keep every written report (true, the default) or count them only (a
// benchmark that must not allocate).
void VirtualHidKeepWritten(bool keep);
int VirtualHidWrittenCount(const std::wstring& path);
// Forgets every unit. Handles still open must not be used afterwards.
void VirtualHidClearUnits();

}  // namespace av::platform
