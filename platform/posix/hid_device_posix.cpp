// HID device I/O on the virtual HID bus: simulated units that tests attach,
// feed with input reports and read the written feature reports back from.
// Each open overlapped handle has its own report queue, as each Windows handle
// has its own input buffer.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

#include "platform/hid_device.h"

namespace av::platform {
namespace {

struct Unit {
    VirtualHidUnit info;
    bool plugged = true;
    bool held = false;
    std::vector<std::vector<std::uint8_t>> written;
    int writtenCount = 0;
    int openHandles = 0;
    int openCount = 0;
};

struct OpenHandle {
    std::shared_ptr<Unit> unit;
    bool overlapped = false;
    std::deque<std::vector<std::uint8_t>> queue;
    bool waiting = false;  // inside HidReadInput, nothing to take yet
};

struct StopEvent {
    bool signalled = false;
};

// One lock for the whole bus; it is a leaf (nothing is called under it).
struct Bus {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<Unit>> units;
    std::set<OpenHandle*> handles;
    bool keepWritten = true;
};

Bus& TheBus() {
    static Bus bus;
    return bus;
}

wchar_t Fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return Fold(x) == Fold(y); });
}

// The newest unit under the path (a unit plugged in again replaces the old one).
std::shared_ptr<Unit> FindUnit(Bus& bus, const std::wstring& path) {
    for (auto it = bus.units.rbegin(); it != bus.units.rend(); ++it) {
        if (SamePath((*it)->info.path, path)) return *it;
    }
    return nullptr;
}

OpenHandle* Live(Bus& bus, Handle device) {
    auto* h = static_cast<OpenHandle*>(device);
    return (h != nullptr && bus.handles.count(h) != 0) ? h : nullptr;
}

}  // namespace

Handle HidOpen(const std::wstring& path, bool overlapped) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    std::shared_ptr<Unit> unit = FindUnit(bus, path);
    if (unit == nullptr || !unit->plugged) return nullptr;
    auto* h = new OpenHandle;
    h->unit = unit;
    h->overlapped = overlapped;
    bus.handles.insert(h);
    ++unit->openHandles;
    ++unit->openCount;
    return h;
}

void HidClose(Handle device) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    OpenHandle* h = Live(bus, device);
    if (h == nullptr) return;
    bus.handles.erase(h);
    --h->unit->openHandles;
    delete h;
    bus.changed.notify_all();
}

bool HidGetIds(Handle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    OpenHandle* h = Live(bus, device);
    if (h == nullptr || !h->unit->plugged) return false;
    vendorId = h->unit->info.vendorId;
    productId = h->unit->info.productId;
    return true;
}

bool HidGetInputReportLength(Handle device, std::uint32_t& length) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    OpenHandle* h = Live(bus, device);
    if (h == nullptr || !h->unit->plugged) return false;
    length = h->unit->info.inputReportLength;
    return true;
}

bool HidSetFeature(Handle device, const std::uint8_t* report, std::uint32_t length) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    OpenHandle* h = Live(bus, device);
    if (h == nullptr || !h->unit->plugged || report == nullptr || length == 0) return false;
    ++h->unit->writtenCount;
    if (bus.keepWritten) h->unit->written.emplace_back(report, report + length);
    return true;
}

bool HidGetFeature(Handle device, std::uint8_t* report, std::uint32_t length) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    OpenHandle* h = Live(bus, device);
    if (h == nullptr || !h->unit->plugged || report == nullptr || length == 0) return false;
    const std::vector<std::uint8_t>& f = h->unit->info.feature;
    if (f.empty()) return false;
    const std::size_t n = std::min<std::size_t>(f.size(), length);
    std::memcpy(report, f.data(), n);
    std::memset(report + n, 0, length - n);
    return true;
}

bool HidGetSerialNumber(Handle device, wchar_t* buffer, std::uint32_t bytes) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    OpenHandle* h = Live(bus, device);
    if (h == nullptr || !h->unit->plugged || buffer == nullptr) return false;
    const std::wstring& s = h->unit->info.serial;
    if ((s.size() + 1) * sizeof(wchar_t) > bytes) return false;  // as the driver refuses it
    std::copy(s.begin(), s.end(), buffer);
    buffer[s.size()] = L'\0';
    return true;
}

Handle HidCreateStopEvent() { return new StopEvent; }

void HidSignalStopEvent(Handle stop) {
    if (stop == nullptr) return;
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    static_cast<StopEvent*>(stop)->signalled = true;
    bus.changed.notify_all();
}

void HidCloseStopEvent(Handle stop) { delete static_cast<StopEvent*>(stop); }

HidReadResult HidReadInput(Handle device, Handle stop, std::uint8_t* buffer,
                           std::uint32_t length, std::uint32_t& bytesRead) {
    bytesRead = 0;
    Bus& bus = TheBus();
    auto* s = static_cast<StopEvent*>(stop);
    std::unique_lock<std::mutex> lock(bus.mutex);
    OpenHandle* h = Live(bus, device);
    const std::shared_ptr<Unit> unit = h != nullptr ? h->unit : nullptr;
    if (h == nullptr || !h->overlapped || !unit->plugged) {
        // The read cannot start: nothing is pending, only stop ends the wait.
        bus.changed.wait(lock, [&] { return s->signalled; });
        s->signalled = false;
        return HidReadResult::Stopped;
    }
    h->waiting = true;
    bus.changed.notify_all();
    bus.changed.wait(lock, [&] {
        return !h->queue.empty() || (s->signalled && !unit->held) || !unit->plugged;
    });
    h->waiting = false;
    bus.changed.notify_all();
    // As WaitForMultipleObjects reports the lowest signalled index, a
    // completed read wins over the stop event.
    if (!h->queue.empty()) {
        const std::vector<std::uint8_t>& r = h->queue.front();
        const std::size_t n = std::min<std::size_t>(r.size(), length);
        if (n > 0) std::memcpy(buffer, r.data(), n);
        bytesRead = static_cast<std::uint32_t>(n);
        h->queue.pop_front();
        return HidReadResult::Data;
    }
    if (s->signalled) {
        s->signalled = false;
        return HidReadResult::Stopped;
    }
    return HidReadResult::Failed;  // unplugged while the read was pending
}

bool HidWaitStop(Handle stop, std::uint32_t milliseconds) {
    Bus& bus = TheBus();
    auto* s = static_cast<StopEvent*>(stop);
    std::unique_lock<std::mutex> lock(bus.mutex);
    if (!bus.changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [&] { return s->signalled; })) {
        return false;
    }
    s->signalled = false;
    return true;
}

void VirtualHidAttach(const VirtualHidUnit& unit) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    auto u = std::make_shared<Unit>();
    u->info = unit;
    bus.units.push_back(std::move(u));
}

void VirtualHidUnplug(const std::wstring& path) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    for (auto& u : bus.units) {
        if (SamePath(u->info.path, path)) u->plugged = false;
    }
    bus.changed.notify_all();
}

void VirtualHidHoldReads(const std::wstring& path, bool hold) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    for (auto& u : bus.units) {
        if (SamePath(u->info.path, path)) u->held = hold;
    }
    bus.changed.notify_all();
}

void VirtualHidFeed(const std::wstring& path, const std::vector<std::uint8_t>& report) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    std::shared_ptr<Unit> unit = FindUnit(bus, path);
    if (unit == nullptr || !unit->plugged) return;
    for (OpenHandle* h : bus.handles) {
        if (h->unit == unit && h->overlapped) h->queue.push_back(report);
    }
    bus.changed.notify_all();
}

bool VirtualHidWaitIdle(const std::wstring& path, std::uint32_t timeoutMs) {
    Bus& bus = TheBus();
    std::unique_lock<std::mutex> lock(bus.mutex);
    return bus.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        std::shared_ptr<Unit> unit = FindUnit(bus, path);
        if (unit == nullptr) return false;
        int readers = 0;
        for (OpenHandle* h : bus.handles) {
            if (h->unit != unit || !h->overlapped) continue;
            if (!h->queue.empty() || !h->waiting) return false;
            ++readers;
        }
        return readers > 0;
    });
}

std::vector<std::vector<std::uint8_t>> VirtualHidTakeWritten(const std::wstring& path) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    std::vector<std::vector<std::uint8_t>> out;
    for (auto& u : bus.units) {
        if (!SamePath(u->info.path, path)) continue;
        for (auto& r : u->written) out.push_back(std::move(r));
        u->written.clear();
    }
    return out;
}

int VirtualHidOpenHandles(const std::wstring& path) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    int n = 0;
    for (auto& u : bus.units) {
        if (SamePath(u->info.path, path)) n += u->openHandles;
    }
    return n;
}

int VirtualHidOpenCount(const std::wstring& path) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    int n = 0;
    for (auto& u : bus.units) {
        if (SamePath(u->info.path, path)) n += u->openCount;
    }
    return n;
}

void VirtualHidKeepWritten(bool keep) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.keepWritten = keep;
}

int VirtualHidWrittenCount(const std::wstring& path) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    int n = 0;
    for (auto& u : bus.units) {
        if (SamePath(u->info.path, path)) n += u->writtenCount;
    }
    return n;
}

void VirtualHidClearUnits() {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.units.clear();
    bus.keepWritten = true;
    bus.changed.notify_all();
}

}  // namespace av::platform
