// Simulated units behind the Windows HID code path, for tests: the first
// VirtualHidAttach swaps the function table of hid_device_win32.cpp for one
// whose device handles are simulated. Reads complete their OVERLAPPED as the
// driver does (Internal, InternalHigh, the event), so the system's own
// GetOverlappedResult reads the result, and CancelIoEx completes a pending
// read as cancelled. The table also lists the plugged units as the HID
// interfaces present. Only tests and the HID stand-in library reference this
// file, so the shipped program does not contain it.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/hid_device.h"
#include "platform/hid_virtual_units.h"
#include "platform/sync.h"
#include "platform/win32/hid_device_win32.h"

extern "C" {
#include <hidpi.h>
}

namespace av::platform {
namespace {

using namespace hid_virtual;

constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;
constexpr ULONG_PTR kStatusDeviceNotConnected = 0xC000009D;

struct SimHandle;
void Complete(SimHandle* h, ULONG_PTR status, const Report* report);

struct SimHandle : UnitHandle {
    void Deliver(const Report& report) override {
        if (pending != nullptr && queue.empty()) {
            Complete(this, kStatusSuccess, &report);
        } else {
            queue.push_back(report);
        }
    }
    bool Reading() const override { return pending != nullptr; }
    void Unplugged() override { Complete(this, kStatusDeviceNotConnected, nullptr); }
    void Released() override {
        if (cancelled) Complete(this, kStatusCancelled, nullptr);
    }

    OVERLAPPED* pending = nullptr;  // the read the driver holds
    std::uint8_t* buffer = nullptr;
    DWORD length = 0;
    bool cancelled = false;  // asked while the unit held its reads
};

struct Preparsed {
    std::uint32_t inputLength;
};

SimHandle* LiveSim(Units& sim, HANDLE h) { return static_cast<SimHandle*>(Live(sim, h)); }

// Completes the pending read as the driver would; under the units' lock.
void Complete(SimHandle* h, ULONG_PTR status, const Report* report) {
    OVERLAPPED* ov = h->pending;
    if (ov == nullptr) return;
    DWORD n = 0;
    if (report != nullptr) {
        n = static_cast<DWORD>(std::min<std::size_t>(report->size(), h->length));
        if (n > 0) std::memcpy(h->buffer, report->data(), n);
    }
    h->pending = nullptr;
    ov->InternalHigh = n;
    ov->Internal = status;
    SetEvent(ov->hEvent);
}

HANDLE WINAPI SimCreateFile(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                            DWORD flags, HANDLE) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    std::shared_ptr<Unit> unit = path != nullptr ? FindUnit(sim, path) : nullptr;
    if (unit == nullptr || !unit->plugged) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return AddHandle(sim, std::make_unique<SimHandle>(), std::move(unit),
                     (flags & FILE_FLAG_OVERLAPPED) != 0);
}

BOOL WINAPI SimCloseHandle(HANDLE handle) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    SimHandle* h = LiveSim(sim, handle);
    if (h == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Complete(h, kStatusCancelled, nullptr);  // closing cancels what is pending
    RemoveHandle(sim, h);
    return TRUE;
}

BOOLEAN NTAPI SimGetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    UnitHandle* h = LivePlugged(sim, handle);
    if (h == nullptr || attributes->Size != sizeof(HIDD_ATTRIBUTES)) return FALSE;
    attributes->VendorID = h->unit->info.vendorId;
    attributes->ProductID = h->unit->info.productId;
    attributes->VersionNumber = 0x100;
    return TRUE;
}

BOOLEAN NTAPI SimGetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    UnitHandle* h = LivePlugged(sim, handle);
    if (h == nullptr) return FALSE;
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(new Preparsed{h->unit->info.inputReportLength});
    return TRUE;
}

BOOLEAN NTAPI SimFreePreparsedData(PHIDP_PREPARSED_DATA data) {
    delete reinterpret_cast<Preparsed*>(data);
    return TRUE;
}

NTSTATUS NTAPI SimGetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    std::memset(caps, 0, sizeof *caps);
    caps->InputReportByteLength =
        static_cast<USHORT>(reinterpret_cast<Preparsed*>(data)->inputLength);
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN NTAPI SimSetFeature(HANDLE handle, PVOID report, ULONG length) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    return WriteFeature(sim, LivePlugged(sim, handle), report, length) ? TRUE : FALSE;
}

BOOLEAN NTAPI SimGetFeature(HANDLE handle, PVOID report, ULONG length) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    return ReadFeature(LivePlugged(sim, handle), report, length) ? TRUE : FALSE;
}

BOOLEAN NTAPI SimGetSerialNumberString(HANDLE handle, PVOID buffer, ULONG bytes) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    return ReadSerialNumber(LivePlugged(sim, handle), buffer, bytes) ? TRUE : FALSE;
}

BOOL WINAPI SimReadFile(HANDLE handle, LPVOID buffer, DWORD length, LPDWORD, LPOVERLAPPED ov) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    SimHandle* h = LiveSim(sim, handle);
    if (h == nullptr || !h->overlapped || ov == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!h->unit->plugged) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    ResetEvent(ov->hEvent);
    h->cancelled = false;
    h->pending = ov;
    h->buffer = static_cast<std::uint8_t*>(buffer);
    h->length = length;
    if (!h->queue.empty()) {
        Complete(h, kStatusSuccess, &h->queue.front());
        h->queue.pop_front();
        sim.changed.notify_all();
        return TRUE;
    }
    ov->Internal = kStatusPending;
    sim.changed.notify_all();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL WINAPI SimCancelIoEx(HANDLE handle, LPOVERLAPPED ov) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    SimHandle* h = LiveSim(sim, handle);
    if (h == nullptr || h->pending == nullptr || (ov != nullptr && h->pending != ov)) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    if (h->unit->held) {
        h->cancelled = true;  // completes when the unit lets go
    } else {
        Complete(h, kStatusCancelled, nullptr);
    }
    sim.changed.notify_all();
    return TRUE;
}

// Every plugged unit's path once (the newest unit under a path stands for it).
DWORD WINAPI SimListInterfaces(LPWSTR buffer, DWORD chars) {
    Units& sim = TheUnits();
    std::lock_guard<av::Mutex> lock(sim.mutex);
    std::wstring list;
    for (const auto& unit : sim.units) {
        if (unit->plugged && FindUnit(sim, unit->info.path) == unit) {
            list += unit->info.path;
            list += L'\0';
        }
    }
    list += L'\0';
    const DWORD needed = static_cast<DWORD>(list.size());
    if (buffer != nullptr && chars >= needed) {
        std::memcpy(buffer, list.data(), needed * sizeof(wchar_t));
    }
    return needed;
}

}  // namespace

HidWin32Functions VirtualHidFunctions() {
    HidWin32Functions f = SystemHidFunctions();  // the system's GetOverlappedResult stays
    f.createFile = &SimCreateFile;
    f.closeHandle = &SimCloseHandle;
    f.getAttributes = &SimGetAttributes;
    f.getPreparsedData = &SimGetPreparsedData;
    f.freePreparsedData = &SimFreePreparsedData;
    f.getCaps = &SimGetCaps;
    f.setFeature = &SimSetFeature;
    f.getFeature = &SimGetFeature;
    f.getSerialNumberString = &SimGetSerialNumberString;
    f.readFile = &SimReadFile;
    f.cancelIoEx = &SimCancelIoEx;
    f.listInterfaces = &SimListInterfaces;
    return f;
}

namespace {

// Once, before the first unit is attached.
void Install() { UseHidFunctions(VirtualHidFunctions()); }

}  // namespace

void VirtualHidAttach(const VirtualHidUnit& unit) {
    static std::once_flag installed;
    std::call_once(installed, Install);
    AttachUnit(unit);
}

}  // namespace av::platform
