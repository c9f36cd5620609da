// The virtual HID bus: a list of present device paths and the broadcasts that
// an arrival or removal posts to the registered window.
#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/hid_notify.h"
#include "platform/message_loop.h"

namespace av::platform {
namespace {

struct Broadcast {
    std::uint32_t deviceType;
    std::wstring path;
};

struct Bus {
    std::mutex mutex;
    std::vector<std::wstring> present;
    Handle window = nullptr;
    bool registrationFails = false;
    // Broadcasts stay alive until the bus is reset: a posted message may be
    // read at any later time.
    std::deque<std::unique_ptr<Broadcast>> broadcasts;
};

Bus& TheBus() {
    static Bus bus;
    return bus;
}

int g_registration;

}  // namespace

Handle RegisterHidNotifications(Handle window) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    if (bus.registrationFails || window == nullptr) return nullptr;
    bus.window = window;
    return &g_registration;
}

void UnregisterHidNotifications(Handle notification) {
    if (notification == nullptr) return;
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.window = nullptr;
}

std::vector<std::wstring> EnumerateHidInterfaces() {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    return bus.present;
}

bool ReadDeviceBroadcast(std::intptr_t lParam, std::uint32_t& deviceType, std::wstring& path) {
    const auto* b = reinterpret_cast<const Broadcast*>(lParam);
    if (b == nullptr) return false;
    deviceType = b->deviceType;
    path = deviceType == kDbtDevtypDeviceInterface ? b->path : std::wstring();
    return true;
}

void SetVirtualHidRegistrationFails(bool fails) {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.registrationFails = fails;
}

void VirtualHidPostBroadcast(std::uintptr_t wParam, std::uint32_t deviceType,
                             const std::wstring& path) {
    Bus& bus = TheBus();
    Handle window;
    Broadcast* b;
    {
        std::lock_guard<std::mutex> lock(bus.mutex);
        window = bus.window;
        if (window == nullptr) return;
        bus.broadcasts.push_back(std::make_unique<Broadcast>(Broadcast{deviceType, path}));
        b = bus.broadcasts.back().get();
    }
    PostWindowMessage(window, kWmDeviceChange, wParam, reinterpret_cast<std::intptr_t>(b));
}

void VirtualHidArrive(const std::wstring& path) {
    {
        Bus& bus = TheBus();
        std::lock_guard<std::mutex> lock(bus.mutex);
        bus.present.push_back(path);
    }
    VirtualHidPostBroadcast(kDbtDeviceArrival, kDbtDevtypDeviceInterface, path);
}

void VirtualHidRemove(const std::wstring& path) {
    {
        Bus& bus = TheBus();
        std::lock_guard<std::mutex> lock(bus.mutex);
        bus.present.erase(std::remove(bus.present.begin(), bus.present.end(), path),
                          bus.present.end());
    }
    VirtualHidPostBroadcast(kDbtDeviceRemoveComplete, kDbtDevtypDeviceInterface, path);
}

void VirtualHidReset() {
    Bus& bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.present.clear();
    bus.window = nullptr;
    bus.registrationFails = false;
    bus.broadcasts.clear();
}

}  // namespace av::platform
