// Simulated units behind the Windows HID code path, for tests: the first
// VirtualHidAttach swaps the function table of hid_device_win32.cpp for one
// whose device handles are simulated. Reads complete their OVERLAPPED as the
// driver does (Internal, InternalHigh, the event), so the system's own
// GetOverlappedResult reads the result, and CancelIoEx completes a pending
// read as cancelled. Only tests reference this file, so the shipped program
// does not contain it.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

#include "platform/hid_device.h"
#include "platform/win32/hid_device_win32.h"

extern "C" {
#include <hidpi.h>
}

namespace av::platform {
namespace {

constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;
constexpr ULONG_PTR kStatusDeviceNotConnected = 0xC000009D;

struct Unit {
    VirtualHidUnit info;
    bool plugged = true;
    bool held = false;
    std::vector<std::vector<std::uint8_t>> written;
    int writtenCount = 0;
    int openHandles = 0;
    int openCount = 0;
};

struct SimHandle {
    std::shared_ptr<Unit> unit;
    bool overlapped = false;
    std::deque<std::vector<std::uint8_t>> queue;
    OVERLAPPED* pending = nullptr;  // the read the driver holds
    std::uint8_t* buffer = nullptr;
    DWORD length = 0;
    bool cancelled = false;  // asked while the unit held its reads
};

struct Preparsed {
    std::uint32_t inputLength;
};

struct Sim {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<Unit>> units;
    std::set<SimHandle*> handles;
    bool keepWritten = true;
    bool installed = false;
};

Sim& TheSim() {
    static Sim sim;
    return sim;
}

wchar_t Fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return Fold(x) == Fold(y); });
}

std::shared_ptr<Unit> FindUnit(Sim& sim, const std::wstring& path) {
    for (auto it = sim.units.rbegin(); it != sim.units.rend(); ++it) {
        if (SamePath((*it)->info.path, path)) return *it;
    }
    return nullptr;
}

SimHandle* Live(Sim& sim, HANDLE h) {
    auto* s = static_cast<SimHandle*>(h);
    return sim.handles.count(s) != 0 ? s : nullptr;
}

// Completes the pending read as the driver would; under the sim's lock.
void Complete(SimHandle* h, ULONG_PTR status, const std::vector<std::uint8_t>* report) {
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
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    std::shared_ptr<Unit> unit = path != nullptr ? FindUnit(sim, path) : nullptr;
    if (unit == nullptr || !unit->plugged) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto* h = new SimHandle;
    h->unit = unit;
    h->overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    sim.handles.insert(h);
    ++unit->openHandles;
    ++unit->openCount;
    return h;
}

BOOL WINAPI SimCloseHandle(HANDLE handle) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimHandle* h = Live(sim, handle);
    if (h == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Complete(h, kStatusCancelled, nullptr);  // closing cancels what is pending
    sim.handles.erase(h);
    --h->unit->openHandles;
    delete h;
    sim.changed.notify_all();
    return TRUE;
}

BOOLEAN NTAPI SimGetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimHandle* h = Live(sim, handle);
    if (h == nullptr || !h->unit->plugged || attributes->Size != sizeof(HIDD_ATTRIBUTES)) {
        return FALSE;
    }
    attributes->VendorID = h->unit->info.vendorId;
    attributes->ProductID = h->unit->info.productId;
    attributes->VersionNumber = 0x100;
    return TRUE;
}

BOOLEAN NTAPI SimGetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimHandle* h = Live(sim, handle);
    if (h == nullptr || !h->unit->plugged) return FALSE;
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
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimHandle* h = Live(sim, handle);
    if (h == nullptr || !h->unit->plugged || report == nullptr || length == 0) return FALSE;
    ++h->unit->writtenCount;
    const auto* bytes = static_cast<const std::uint8_t*>(report);
    if (sim.keepWritten) h->unit->written.emplace_back(bytes, bytes + length);
    return TRUE;
}

BOOLEAN NTAPI SimGetFeature(HANDLE handle, PVOID report, ULONG length) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimHandle* h = Live(sim, handle);
    if (h == nullptr || !h->unit->plugged || report == nullptr || length == 0) return FALSE;
    const std::vector<std::uint8_t>& f = h->unit->info.feature;
    if (f.empty()) return FALSE;
    const std::size_t n = std::min<std::size_t>(f.size(), length);
    std::memcpy(report, f.data(), n);
    std::memset(static_cast<std::uint8_t*>(report) + n, 0, length - n);
    return TRUE;
}

BOOLEAN NTAPI SimGetSerialNumberString(HANDLE handle, PVOID buffer, ULONG bytes) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimHandle* h = Live(sim, handle);
    if (h == nullptr || !h->unit->plugged || buffer == nullptr) return FALSE;
    const std::wstring& s = h->unit->info.serial;
    if ((s.size() + 1) * sizeof(wchar_t) > bytes) return FALSE;
    std::memcpy(buffer, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
    return TRUE;
}

BOOL WINAPI SimReadFile(HANDLE handle, LPVOID buffer, DWORD length, LPDWORD, LPOVERLAPPED ov) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimHandle* h = Live(sim, handle);
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
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimHandle* h = Live(sim, handle);
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

void Install(Sim& sim) {
    if (sim.installed) return;
    sim.installed = true;
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
    UseHidFunctions(f);
}

}  // namespace

void VirtualHidAttach(const VirtualHidUnit& unit) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    Install(sim);
    auto u = std::make_shared<Unit>();
    u->info = unit;
    sim.units.push_back(std::move(u));
}

void VirtualHidUnplug(const std::wstring& path) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    for (auto& u : sim.units) {
        if (SamePath(u->info.path, path)) u->plugged = false;
    }
    for (SimHandle* h : sim.handles) {
        if (!h->unit->plugged) Complete(h, kStatusDeviceNotConnected, nullptr);
    }
    sim.changed.notify_all();
}

void VirtualHidHoldReads(const std::wstring& path, bool hold) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    for (auto& u : sim.units) {
        if (SamePath(u->info.path, path)) u->held = hold;
    }
    if (!hold) {
        for (SimHandle* h : sim.handles) {
            if (h->cancelled && !h->unit->held) Complete(h, kStatusCancelled, nullptr);
        }
    }
    sim.changed.notify_all();
}

void VirtualHidFeed(const std::wstring& path, const std::vector<std::uint8_t>& report) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    std::shared_ptr<Unit> unit = FindUnit(sim, path);
    if (unit == nullptr || !unit->plugged) return;
    for (SimHandle* h : sim.handles) {
        if (h->unit != unit || !h->overlapped) continue;
        if (h->pending != nullptr && h->queue.empty()) {
            Complete(h, kStatusSuccess, &report);
        } else {
            h->queue.push_back(report);
        }
    }
    sim.changed.notify_all();
}

bool VirtualHidWaitIdle(const std::wstring& path, std::uint32_t timeoutMs) {
    Sim& sim = TheSim();
    std::unique_lock<std::mutex> lock(sim.mutex);
    return sim.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        std::shared_ptr<Unit> unit = FindUnit(sim, path);
        if (unit == nullptr) return false;
        int readers = 0;
        for (SimHandle* h : sim.handles) {
            if (h->unit != unit || !h->overlapped) continue;
            if (!h->queue.empty() || h->pending == nullptr) return false;
            ++readers;
        }
        return readers > 0;
    });
}

std::vector<std::vector<std::uint8_t>> VirtualHidTakeWritten(const std::wstring& path) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    std::vector<std::vector<std::uint8_t>> out;
    for (auto& u : sim.units) {
        if (!SamePath(u->info.path, path)) continue;
        for (auto& r : u->written) out.push_back(std::move(r));
        u->written.clear();
    }
    return out;
}

int VirtualHidOpenHandles(const std::wstring& path) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    int n = 0;
    for (auto& u : sim.units) {
        if (SamePath(u->info.path, path)) n += u->openHandles;
    }
    return n;
}

int VirtualHidOpenCount(const std::wstring& path) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    int n = 0;
    for (auto& u : sim.units) {
        if (SamePath(u->info.path, path)) n += u->openCount;
    }
    return n;
}

void VirtualHidKeepWritten(bool keep) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.keepWritten = keep;
}

int VirtualHidWrittenCount(const std::wstring& path) {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    int n = 0;
    for (auto& u : sim.units) {
        if (SamePath(u->info.path, path)) n += u->writtenCount;
    }
    return n;
}

void VirtualHidClearUnits() {
    Sim& sim = TheSim();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.units.clear();
    sim.keepWritten = true;
    sim.changed.notify_all();
}

}  // namespace av::platform
