// The stand-in as Aviaro.exe loads it: the script and the record file come
// from the environment when the library is loaded; HidStandIn_Functions hands
// over the simulated units' table, whose feature writes are also recorded as
// what each unit shows, and starts the pilot.
#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/hid_virtual_units.h"
#include "platform/sync.h"
#include "platform/win32/hid_device_win32.h"
#include "tools/hid_standin/hid_standin.h"

namespace {

av::platform::HidWin32Functions g_units;  // the simulated units' own table

BOOLEAN NTAPI RecordingSetFeature(HANDLE handle, PVOID report, ULONG length) {
    std::wstring path;
    {
        auto& units = av::platform::hid_virtual::TheUnits();
        std::lock_guard<av::Mutex> lock(units.mutex);
        if (auto* h = av::platform::hid_virtual::LivePlugged(units, handle)) {
            path = h->unit->info.path;
        }
    }
    const BOOLEAN written = g_units.setFeature(handle, report, length);
    // After the write, with no lock of the units held, as the driver returns.
    if (written) {
        standin::HidStandIn::Instance().OnFeatureWritten(
            path, static_cast<const std::uint8_t*>(report), length);
    }
    return written;
}

struct LoadFromEnvironment {
    LoadFromEnvironment() {
        standin::HidStandIn& s = standin::HidStandIn::Instance();
        if (const char* record = std::getenv("AVIARO_HID_RECORD")) s.SetRecordFile(record);
        if (const char* time = std::getenv("AVIARO_HID_RECORD_TIME")) s.SetRecordTime(std::string(time) == "1");
        if (const char* script = std::getenv("AVIARO_HID_SCRIPT")) {
            if (!s.LoadScriptFile(script)) s.Record(std::string("cannot read script ") + script);
        }
    }
} g_load;

}  // namespace

extern "C" __declspec(dllexport) const av::platform::HidWin32Functions* WINAPI
HidStandIn_Functions() {
    static const av::platform::HidWin32Functions table = [] {
        g_units = av::platform::VirtualHidFunctions();
        av::platform::HidWin32Functions t = g_units;
        t.setFeature = &RecordingSetFeature;
        return t;
    }();
    standin::HidStandIn::Instance().Start();
    return &table;
}
