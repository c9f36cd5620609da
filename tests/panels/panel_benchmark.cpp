// The multi panel's two hot paths on a simulated unit: one input report
// through OnInputReport to the event it sends, and one data record through
// OnSimObjectData to the display report it writes. Each counts the heap
// allocations it makes (the goal is none).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/hid_device.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/panels/panel_autopilot.h"

namespace {

std::atomic<long> g_allocations{0};

// A simulator that takes every call and records nothing.
HRESULT AV_STDCALL Accept0(av::Handle) { return S_OK; }
HRESULT AV_STDCALL AcceptMap(av::Handle, simconnect::DWord, const char*) { return S_OK; }
HRESULT AV_STDCALL AcceptTransmit(av::Handle, simconnect::DWord, simconnect::DWord, simconnect::DWord,
                                  simconnect::DWord, simconnect::DWord) { return S_OK; }
HRESULT AV_STDCALL AcceptGroup(av::Handle, simconnect::DWord, simconnect::DWord, int) { return S_OK; }
HRESULT AV_STDCALL AcceptPriority(av::Handle, simconnect::DWord, simconnect::DWord) { return S_OK; }
HRESULT AV_STDCALL AcceptDatum(av::Handle, simconnect::DWord, const char*, const char*, simconnect::DWord,
                               float, simconnect::DWord) { return S_OK; }

// One unit opened by the panel (refreshed by records), one held here (fed
// input reports directly, as its reader would).
const std::wstring kPath = L"\\\\?\\hid#vid_2b71&pid_0a21#bench";
const std::wstring kInputPath = L"\\\\?\\hid#vid_2b71&pid_0a21#input";

struct Bench {
    CPanelClass_Autopilot panel;
    CHidPanelDevice device;
    std::uint32_t record[22] = {};

    Bench() {
        simconnect::EntryTable t;
        t.close = &Accept0;
        t.mapClientEventToSimEvent = &AcceptMap;
        t.transmitClientEvent = &AcceptTransmit;
        t.addClientEventToNotificationGroup = &AcceptGroup;
        t.setNotificationGroupPriority = &AcceptPriority;
        t.addToDataDefinition = &AcceptDatum;
        CSimConnectLibrary::Instance().UseEntryTable(t);
        for (const std::wstring& path : {kPath, kInputPath}) {
            av::platform::VirtualHidAttach({.path = path, .vendorId = 0x2B71, .productId = 0x0A21, .serial = L"",
                                            .inputReportLength = 4, .feature = std::vector<std::uint8_t>(13, 0)});
        }
        av::platform::VirtualHidKeepWritten(false);
        std::uint32_t next = 1;
        panel.InitSimData(&next);
        panel.OpenDevice(kPath.c_str());
        device.Open(kInputPath, &panel);
        record[0] = 1;
        record[1] = 1;
    }
    ~Bench() {
        device.Close();
        panel.CloseAllDevices();
        av::platform::VirtualHidClearUnits();
    }
};

void InputReportToEvent(benchmark::State& state) {
    Bench b;
    const std::uint8_t rest[4] = {0, 0x01, 0, 0};
    const std::uint8_t step[4] = {0, 0x21, 0, 0};
    b.panel.OnSimObjectData(b.panel.DefinitionId(), b.record, sizeof b.record);
    b.panel.DeliverInputReport(&b.device, 4, rest, step);  // warm the event queue
    const long before = g_allocations;
    for (auto _ : state) b.panel.DeliverInputReport(&b.device, 4, rest, step);
    state.counters["allocations_per_report"] =
        static_cast<double>(g_allocations - before) / static_cast<double>(state.iterations());
}
BENCHMARK(InputReportToEvent);

void RecordToDisplayReport(benchmark::State& state) {
    Bench b;
    const int written = av::platform::VirtualHidWrittenCount(kPath);
    long before = g_allocations;
    float altitude = 1000.0f;
    for (auto _ : state) {
        altitude = altitude == 1000.0f ? 1100.0f : 1000.0f;  // each record shows differently
        __builtin_memcpy(&b.record[6], &altitude, 4);
        b.panel.OnSimObjectData(b.panel.DefinitionId(), b.record, sizeof b.record);
    }
    state.counters["allocations_per_record"] =
        static_cast<double>(g_allocations - before) / static_cast<double>(state.iterations());
    state.counters["reports_per_record"] =
        static_cast<double>(av::platform::VirtualHidWrittenCount(kPath) - written) /
        static_cast<double>(state.iterations());
}
BENCHMARK(RecordToDisplayReport);

}  // namespace

// Counted, and kept out of line so that the optimiser does not pair a
// malloc it sees with a delete it does not.
[[gnu::noinline]] void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

BENCHMARK_MAIN();
