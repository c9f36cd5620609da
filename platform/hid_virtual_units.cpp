// The simulated HID units shared by both platforms; see hid_virtual_units.h.
#include "platform/hid_virtual_units.h"
#include "platform/sync.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace av::platform {
namespace hid_virtual {
namespace {

wchar_t Fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

// Adds up a count of every unit under the path, plugged in or not.
int SumOver(const std::wstring& path, int Unit::*count) {
    Units& units = TheUnits();
    std::lock_guard<av::Mutex> lock(units.mutex);
    int n = 0;
    for (auto& u : units.units) {
        if (SamePath(u->info.path, path)) n += (*u).*count;
    }
    return n;
}

}  // namespace

Units& TheUnits() {
    static Units units;
    return units;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return Fold(x) == Fold(y); });
}

std::shared_ptr<Unit> FindUnit(Units& units, const std::wstring& path) {
    for (auto it = units.units.rbegin(); it != units.units.rend(); ++it) {
        if (SamePath((*it)->info.path, path)) return *it;
    }
    return nullptr;
}

UnitHandle* Live(Units& units, const void* handle) {
    // Only compared until found: a value that is not ours is never used.
    auto* h = static_cast<UnitHandle*>(const_cast<void*>(handle));
    return (h != nullptr && units.handles.count(h) != 0) ? h : nullptr;
}

UnitHandle* LivePlugged(Units& units, const void* handle) {
    UnitHandle* h = Live(units, handle);
    return (h != nullptr && h->unit->plugged) ? h : nullptr;
}

void* AddHandle(Units& units, std::unique_ptr<UnitHandle> handle, std::shared_ptr<Unit> unit,
                bool overlapped) {
    UnitHandle* h = handle.release();
    ++unit->openHandles;
    ++unit->openCount;
    h->unit = std::move(unit);
    h->overlapped = overlapped;
    units.handles.insert(h);
    return h;
}

void RemoveHandle(Units& units, UnitHandle* handle) {
    units.handles.erase(handle);
    --handle->unit->openHandles;
    delete handle;
    units.changed.notify_all();
}

bool WriteFeature(Units& units, UnitHandle* handle, const void* report, std::uint32_t length) {
    if (handle == nullptr || report == nullptr || length == 0) return false;
    ++handle->unit->writtenCount;
    const auto* bytes = static_cast<const std::uint8_t*>(report);
    if (units.keepWritten) handle->unit->written.emplace_back(bytes, bytes + length);
    return true;
}

bool ReadFeature(UnitHandle* handle, void* report, std::uint32_t length) {
    if (handle == nullptr || report == nullptr || length == 0) return false;
    const Report& f = handle->unit->info.feature;
    if (f.empty()) return false;
    const std::size_t n = std::min<std::size_t>(f.size(), length);
    std::memcpy(report, f.data(), n);
    std::memset(static_cast<std::uint8_t*>(report) + n, 0, length - n);
    return true;
}

bool ReadSerialNumber(UnitHandle* handle, void* buffer, std::uint32_t bytes) {
    if (handle == nullptr || buffer == nullptr) return false;
    const std::wstring& s = handle->unit->info.serial;
    const std::size_t size = (s.size() + 1) * sizeof(wchar_t);
    if (size > bytes) return false;  // as the driver refuses it
    std::memcpy(buffer, s.c_str(), size);
    return true;
}

void AttachUnit(const VirtualHidUnit& unit) {
    Units& units = TheUnits();
    std::lock_guard<av::Mutex> lock(units.mutex);
    auto u = std::make_shared<Unit>();
    u->info = unit;
    units.units.push_back(std::move(u));
}

}  // namespace hid_virtual

using namespace hid_virtual;

void VirtualHidUnplug(const std::wstring& path) {
    Units& units = TheUnits();
    std::lock_guard<av::Mutex> lock(units.mutex);
    for (auto& u : units.units) {
        if (SamePath(u->info.path, path)) u->plugged = false;
    }
    for (UnitHandle* h : units.handles) {
        if (!h->unit->plugged) h->Unplugged();
    }
    units.changed.notify_all();
}

void VirtualHidHoldReads(const std::wstring& path, bool hold) {
    Units& units = TheUnits();
    std::lock_guard<av::Mutex> lock(units.mutex);
    for (auto& u : units.units) {
        if (SamePath(u->info.path, path)) u->held = hold;
    }
    if (!hold) {
        for (UnitHandle* h : units.handles) {
            if (!h->unit->held) h->Released();
        }
    }
    units.changed.notify_all();
}

void VirtualHidFeed(const std::wstring& path, const std::vector<std::uint8_t>& report) {
    Units& units = TheUnits();
    std::lock_guard<av::Mutex> lock(units.mutex);
    std::shared_ptr<Unit> unit = FindUnit(units, path);
    if (unit == nullptr || !unit->plugged) return;
    for (UnitHandle* h : units.handles) {
        if (h->unit == unit && h->overlapped) h->Deliver(report);
    }
    units.changed.notify_all();
}

bool VirtualHidWaitIdle(const std::wstring& path, std::uint32_t timeoutMs) {
    Units& units = TheUnits();
    std::unique_lock<av::Mutex> lock(units.mutex);
    return units.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        std::shared_ptr<Unit> unit = FindUnit(units, path);
        if (unit == nullptr) return false;
        int readers = 0;
        for (UnitHandle* h : units.handles) {
            if (h->unit != unit || !h->overlapped) continue;
            if (!h->queue.empty() || !h->Reading()) return false;
            ++readers;
        }
        return readers > 0;
    });
}

std::vector<std::vector<std::uint8_t>> VirtualHidTakeWritten(const std::wstring& path) {
    Units& units = TheUnits();
    std::lock_guard<av::Mutex> lock(units.mutex);
    std::vector<std::vector<std::uint8_t>> out;
    for (auto& u : units.units) {
        if (!SamePath(u->info.path, path)) continue;
        for (auto& r : u->written) out.push_back(std::move(r));
        u->written.clear();
    }
    return out;
}

int VirtualHidOpenHandles(const std::wstring& path) { return SumOver(path, &Unit::openHandles); }

int VirtualHidOpenCount(const std::wstring& path) { return SumOver(path, &Unit::openCount); }

int VirtualHidWrittenCount(const std::wstring& path) { return SumOver(path, &Unit::writtenCount); }

void VirtualHidKeepWritten(bool keep) {
    Units& units = TheUnits();
    std::lock_guard<av::Mutex> lock(units.mutex);
    units.keepWritten = keep;
}

void VirtualHidClearUnits() {
    Units& units = TheUnits();
    std::lock_guard<av::Mutex> lock(units.mutex);
    units.units.clear();
    units.keepWritten = true;
    units.changed.notify_all();
}

}  // namespace av::platform
