// HID device I/O on the virtual HID bus: simulated units that tests attach,
// feed with input reports and read the written feature reports back from.
// Each open overlapped handle has its own report queue, as each Windows handle
// has its own input buffer. The units and handles are those of
// hid_virtual_units.h; how a read waits for a report or the stop event is here.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/hid_device.h"
#include "platform/hid_virtual_units.h"

namespace av::platform {
namespace {

using namespace hid_virtual;

struct OpenHandle : UnitHandle {
    bool Reading() const override { return waiting; }

    bool waiting = false;  // inside HidReadInput, nothing to take yet
};

struct StopEvent {
    bool signalled = false;
};

}  // namespace

Handle HidOpen(const std::wstring& path, bool overlapped) {
    Units& bus = TheUnits();
    std::lock_guard<std::mutex> lock(bus.mutex);
    std::shared_ptr<Unit> unit = FindUnit(bus, path);
    if (unit == nullptr || !unit->plugged) return nullptr;
    return AddHandle(bus, std::make_unique<OpenHandle>(), std::move(unit), overlapped);
}

void HidClose(Handle device) {
    Units& bus = TheUnits();
    std::lock_guard<std::mutex> lock(bus.mutex);
    UnitHandle* h = Live(bus, device);
    if (h != nullptr) RemoveHandle(bus, h);
}

bool HidGetIds(Handle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    Units& bus = TheUnits();
    std::lock_guard<std::mutex> lock(bus.mutex);
    UnitHandle* h = LivePlugged(bus, device);
    if (h == nullptr) return false;
    vendorId = h->unit->info.vendorId;
    productId = h->unit->info.productId;
    return true;
}

bool HidGetInputReportLength(Handle device, std::uint32_t& length) {
    Units& bus = TheUnits();
    std::lock_guard<std::mutex> lock(bus.mutex);
    UnitHandle* h = LivePlugged(bus, device);
    if (h == nullptr) return false;
    length = h->unit->info.inputReportLength;
    return true;
}

bool HidSetFeature(Handle device, const std::uint8_t* report, std::uint32_t length) {
    Units& bus = TheUnits();
    std::lock_guard<std::mutex> lock(bus.mutex);
    return WriteFeature(bus, LivePlugged(bus, device), report, length);
}

bool HidGetFeature(Handle device, std::uint8_t* report, std::uint32_t length) {
    Units& bus = TheUnits();
    std::lock_guard<std::mutex> lock(bus.mutex);
    return ReadFeature(LivePlugged(bus, device), report, length);
}

bool HidGetSerialNumber(Handle device, wchar_t* buffer, std::uint32_t bytes) {
    Units& bus = TheUnits();
    std::lock_guard<std::mutex> lock(bus.mutex);
    return ReadSerialNumber(LivePlugged(bus, device), buffer, bytes);
}

Handle HidCreateStopEvent() { return new StopEvent; }

void HidSignalStopEvent(Handle stop) {
    if (stop == nullptr) return;
    Units& bus = TheUnits();
    std::lock_guard<std::mutex> lock(bus.mutex);
    static_cast<StopEvent*>(stop)->signalled = true;
    bus.changed.notify_all();
}

void HidCloseStopEvent(Handle stop) { delete static_cast<StopEvent*>(stop); }

HidReadResult HidReadInput(Handle device, Handle stop, std::uint8_t* buffer,
                           std::uint32_t length, std::uint32_t& bytesRead) {
    bytesRead = 0;
    Units& bus = TheUnits();
    auto* s = static_cast<StopEvent*>(stop);
    std::unique_lock<std::mutex> lock(bus.mutex);
    auto* h = static_cast<OpenHandle*>(Live(bus, device));
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
    Units& bus = TheUnits();
    auto* s = static_cast<StopEvent*>(stop);
    std::unique_lock<std::mutex> lock(bus.mutex);
    if (!bus.changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [&] { return s->signalled; })) {
        return false;
    }
    s->signalled = false;
    return true;
}

void VirtualHidAttach(const VirtualHidUnit& unit) { AttachUnit(unit); }

}  // namespace av::platform
