// A scripted device library for the manager's tests: devices with a type and a
// serial, every call written down, and the registered callbacks kept so that a
// test can fire them from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "plugins/lumiray/lumiray_types.h"

// The device handle numbered n.
inline lumiray::Device Dev(int n) {
    return reinterpret_cast<lumiray::Device>(static_cast<std::uintptr_t>(n));
}

struct FakeDevice {
    av::Guid type;
    std::wstring serial;
    bool failPageCallback = false;
};

class FakeLumiray {
public:
    static FakeLumiray& Get();
    void Reset();
    lumiray::EntryTable Entries() const;

    // Devices present at Enumerate, in order.
    std::vector<std::pair<lumiray::Device, FakeDevice>> present;
    std::map<lumiray::Device, FakeDevice> known;

    void Add(lumiray::Device d, const FakeDevice& f) {
        present.emplace_back(d, f);
        known[d] = f;
    }

    void Record(const std::string& line);
    std::vector<std::string> Calls() const;
    void ClearCalls();

    lumiray::DeviceCallback deviceCallback = nullptr;
    void* deviceContext = nullptr;
    std::map<lumiray::Device, std::pair<lumiray::PageCallback, void*>> pageCallbacks;
    std::map<lumiray::Device, std::pair<lumiray::SoftButtonCallback, void*>> buttonCallbacks;

    void FirePage(lumiray::Device d, lumiray::DWord page, bool active);
    void FireButtons(lumiray::Device d, lumiray::DWord buttons);

    // Held inside every entry point and while calling back, as a real
    // library may; taken before mutex.
    std::recursive_mutex library;
    mutable std::mutex mutex;

private:
    std::vector<std::string> calls_;
};

std::string DeviceName(lumiray::Device d);
