#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/text.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "tests/host/test_helpers.h"

using simconnect::DWord;

namespace {

// What the recording entry points saw.
struct Seen {
    std::vector<std::string> calls;
    av::Handle* openTarget = nullptr;
    av::Handle handle = nullptr;
};
Seen g_seen;

const av::Handle kHandle = reinterpret_cast<av::Handle>(static_cast<std::uintptr_t>(0x1234));

std::string H(av::Handle h) { return std::to_string(reinterpret_cast<std::uintptr_t>(h)); }

HRESULT AV_STDCALL RecOpen(av::Handle* c, const char* name, av::Handle w, DWord u, av::Handle e,
                           DWord cfg) {
    g_seen.openTarget = c;
    *c = kHandle;
    g_seen.calls.push_back(std::string("Open ") + name + " " + H(w) + " " + std::to_string(u) +
                           " " + H(e) + " " + std::to_string(cfg));
    return 0;
}
HRESULT AV_STDCALL RecClose(av::Handle c) {
    g_seen.calls.push_back("Close " + H(c));
    return 0x7;
}
HRESULT AV_STDCALL RecMap(av::Handle c, DWord id, const char* name) {
    g_seen.calls.push_back("Map " + H(c) + " " + std::to_string(id) + " " + name);
    return static_cast<HRESULT>(0xC000000Bu);
}
HRESULT AV_STDCALL RecTransmit(av::Handle c, DWord o, DWord id, DWord d, DWord g, DWord f) {
    g_seen.calls.push_back("Transmit " + H(c) + " " + std::to_string(o) + " " + std::to_string(id) +
                           " " + std::to_string(d) + " " + std::to_string(g) + " " +
                           std::to_string(f));
    return 0;
}
HRESULT AV_STDCALL RecAddToGroup(av::Handle c, DWord g, DWord id, int m) {
    g_seen.calls.push_back("AddToGroup " + H(c) + " " + std::to_string(g) + " " +
                           std::to_string(id) + " " + std::to_string(m));
    return 0;
}
HRESULT AV_STDCALL RecPriority(av::Handle c, DWord g, DWord p) {
    g_seen.calls.push_back("Priority " + H(c) + " " + std::to_string(g) + " " + std::to_string(p));
    return 0;
}
HRESULT AV_STDCALL RecAddToDef(av::Handle c, DWord def, const char* datum, const char* units,
                               DWord type, float eps, DWord datumId) {
    g_seen.calls.push_back("AddToDef " + H(c) + " " + std::to_string(def) + " " + datum + " " +
                           units + " " + std::to_string(type) + " " + std::to_string(eps) + " " +
                           std::to_string(datumId));
    return 0;
}
HRESULT AV_STDCALL RecRequest(av::Handle c, DWord r, DWord def, DWord o, DWord p, DWord f,
                              DWord origin, DWord interval, DWord limit) {
    g_seen.calls.push_back("Request " + H(c) + " " + std::to_string(r) + " " + std::to_string(def) +
                           " " + std::to_string(o) + " " + std::to_string(p) + " " +
                           std::to_string(f) + " " + std::to_string(origin) + " " +
                           std::to_string(interval) + " " + std::to_string(limit));
    return 0;
}

CSimConnectLibrary MakeRecording() {
    simconnect::EntryTable t;
    t.open = &RecOpen;
    t.close = &RecClose;
    t.mapClientEventToSimEvent = &RecMap;
    t.transmitClientEvent = &RecTransmit;
    t.addClientEventToNotificationGroup = &RecAddToGroup;
    t.setNotificationGroupPriority = &RecPriority;
    t.addToDataDefinition = &RecAddToDef;
    t.requestDataOnSimObject = &RecRequest;
    g_seen = Seen();
    return CSimConnectLibrary(t);
}

TEST(SimConnectLibrary, WithoutTheLibraryEveryOperationAnswersNotImplemented) {
    CSimConnectLibrary sim{simconnect::EntryTable{}};
    DWord packet = 0;
    EXPECT_EQ(sim.Open("x", nullptr, 0, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(sim.Close(), E_NOTIMPL);
    EXPECT_EQ(sim.CallDispatch(nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(sim.MapClientEventToSimEvent(5, "AP_MASTER"), E_NOTIMPL);
    EXPECT_EQ(sim.TransmitClientEvent(0, 5, 0, 1, 16), E_NOTIMPL);
    EXPECT_EQ(sim.AddClientEventToNotificationGroup(1, 5, false), E_NOTIMPL);
    EXPECT_EQ(sim.SetNotificationGroupPriority(1, 1), E_NOTIMPL);
    EXPECT_EQ(sim.AddToDataDefinition(2, "A", "B", 4, 0.0f, 0), E_NOTIMPL);
    EXPECT_EQ(sim.RequestDataOnSimObject(1, 2, 0, 3, 1, 0, 0, 0), E_NOTIMPL);
    EXPECT_EQ(sim.RequestDataOnSimObjectType(1, 2, 0, 0), E_NOTIMPL);
    EXPECT_EQ(sim.SubscribeToSystemEvent(1, "SimStart"), E_NOTIMPL);
    EXPECT_EQ(sim.UnsubscribeFromSystemEvent(1), E_NOTIMPL);
    EXPECT_EQ(sim.RequestSystemState(1, "AircraftLoaded"), E_NOTIMPL);
    EXPECT_EQ(sim.GetLastSentPacketID(&packet), E_NOTIMPL);
    EXPECT_EQ(sim.Connection(), nullptr);
}

TEST(SimConnectLibrary, ForwardsArgumentsWithTheConnectionHandleAndReturnsResultsUnchanged) {
    CSimConnectLibrary sim = MakeRecording();
    int eventObject = 0;

    // Before Open the handle is passed as 0: it is never tested.
    EXPECT_EQ(sim.Close(), 0x7);
    EXPECT_EQ(sim.Open("Orlend Flight Sim X Plugin", nullptr, 0, &eventObject, 0), S_OK);
    EXPECT_EQ(sim.Connection(), kHandle);
    EXPECT_EQ(sim.MapClientEventToSimEvent(5, "COM_RADIO_WHOLE_INC"),
              static_cast<HRESULT>(0xC000000Bu));
    sim.TransmitClientEvent(0, 5, 0, 1, 16);
    sim.AddClientEventToNotificationGroup(1, 5, true);
    sim.SetNotificationGroupPriority(1, 1);
    sim.AddToDataDefinition(2, "COM ACTIVE FREQUENCY:1", "Frequency BCD16", 1, 0.5f, 3);
    sim.RequestDataOnSimObject(1, 2, 0, 3, 1, 0, 0, 0);
    // Entries absent from the table still answer E_NOTIMPL.
    EXPECT_EQ(sim.SubscribeToSystemEvent(1, "SimStart"), E_NOTIMPL);

    const std::string h = H(kHandle);
    const std::vector<std::string> expected = {
        "Close 0",
        "Open Orlend Flight Sim X Plugin 0 0 " + H(&eventObject) + " 0",
        "Map " + h + " 5 COM_RADIO_WHOLE_INC",
        "Transmit " + h + " 0 5 0 1 16",
        "AddToGroup " + h + " 1 5 1",
        "Priority " + h + " 1 1",
        "AddToDef " + h + " 2 COM ACTIVE FREQUENCY:1 Frequency BCD16 1 0.500000 3",
        "Request " + h + " 1 2 0 3 1 0 0 0",
    };
    EXPECT_EQ(g_seen.calls, expected);
}

TEST(SimConnectLibrary, CountersStartAboveTheSystemEventsAndAreUniqueAcrossThreads) {
    CSimConnectLibrary sim{simconnect::EntryTable{}};
    EXPECT_EQ(sim.NextDefinitionId(), 2u);
    EXPECT_EQ(sim.NextEventId(), 5u);

    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    std::vector<std::vector<std::uint32_t>> defs(kThreads), events(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                defs[t].push_back(sim.NextDefinitionId());
                events[t].push_back(sim.NextEventId());
            }
        });
    }
    for (auto& t : threads) t.join();

    std::set<std::uint32_t> allDefs, allEvents;
    for (int t = 0; t < kThreads; ++t) {
        allDefs.insert(defs[t].begin(), defs[t].end());
        allEvents.insert(events[t].begin(), events[t].end());
        // Each thread sees its own ids in increasing order.
        EXPECT_TRUE(std::is_sorted(defs[t].begin(), defs[t].end()));
    }
    ASSERT_EQ(allDefs.size(), static_cast<std::size_t>(kThreads * kEach));
    ASSERT_EQ(allEvents.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(*allDefs.begin(), 3u);
    EXPECT_EQ(*allDefs.rbegin(), 2u + kThreads * kEach);
    EXPECT_EQ(*allEvents.begin(), 6u);
    EXPECT_EQ(*allEvents.rbegin(), 5u + kThreads * kEach);
}

// Loader fakes: each records its attempt and loads only what the case allows.
struct LoadAttempts {
    std::vector<std::string> calls;
    std::string loads;  // the attempt that succeeds: its recorded text
    std::wstring programFolder;
    std::map<std::wstring, std::wstring> environment;  // a variable absent here is unset
};
LoadAttempts g_attempts;
int g_module = 0;

void* Attempt(const std::string& call) {
    g_attempts.calls.push_back(call);
    return call == g_attempts.loads ? &g_module : nullptr;
}
void* FakeInProcess(const wchar_t* name) {
    return Attempt("in-process " + av::platform::ToUtf8(name));
}
void* FakeSideBySide(const wchar_t* assembly, const wchar_t* version, const wchar_t* arch,
                     const wchar_t* token, const wchar_t* file) {
    using av::platform::ToUtf8;
    return Attempt("sxs " + ToUtf8(assembly) + " " + ToUtf8(version) + " " + ToUtf8(arch) + " " +
                   ToUtf8(token) + " " + ToUtf8(file));
}
void* FakeByName(const wchar_t* name) { return Attempt("name " + av::platform::ToUtf8(name)); }
void* FakeFromPath(const wchar_t* path) { return Attempt("path " + av::platform::ToUtf8(path)); }
bool FakeEnvironment(const wchar_t* name, std::wstring& value) {
    const auto found = g_attempts.environment.find(name);
    if (found == g_attempts.environment.end()) return false;
    value = found->second;
    return true;
}
std::wstring FakeProgramFolder() { return g_attempts.programFolder; }

const simconnect::ModuleLoaders kFakeLoaders = {&FakeInProcess,   &FakeSideBySide,
                                                &FakeByName,      &FakeFromPath,
                                                &FakeEnvironment, &FakeProgramFolder};

// Loads in the given order with the trace log on; the lines it wrote after
// the separator.
void* LoadTraced(simconnect::SearchOrder order, const char* folder, std::string& trace) {
    const std::wstring path = av::platform::JoinPath(MakeTempFolder(folder), L"trace.txt");
    CTraceLog::Instance().Open(path);
    void* module = simconnect::LoadSimConnectModule(kFakeLoaders, order);
    CTraceLog::Instance().Close();
    trace = ReadBytes(path);
    const std::string separator = "\r\n------\r\n";
    if (trace.rfind(separator, 0) == 0) trace.erase(0, separator.size());
    return module;
}

std::string NotLoaded(const std::string& path) {
    return "  CSimConnectLibrary::Instance - SimConnect.dll not loaded from " + path + "\r\n";
}

TEST(SimConnectLibrary, I686LoadsFromTheNewestInstalledAssemblyVersionThenByPlainName) {
    const std::string sxs = "sxs Microsoft.FlightSimulator.SimConnect ";
    const std::string id = " x86 67c7c14424d61b5b SimConnect.dll";
    const std::vector<std::string> every = {
        "in-process SimConnect.dll",
        sxs + "10.0.62615.0" + id,
        sxs + "10.0.61259.0" + id,
        sxs + "10.0.61242.0" + id,
        sxs + "10.0.60905.0" + id,
        "name SimConnect.dll",
    };
    // Whichever attempt loads ends the search: every attempt up to it, none after.
    // The program folder and the SDK variables play no part, and nothing is traced.
    for (std::size_t winner = 0; winner <= every.size(); ++winner) {
        g_attempts = LoadAttempts();
        g_attempts.programFolder = L"C:\\Aviaro";
        g_attempts.environment = {{L"MSFS_SDK", L"C:\\MSFS SDK"}};
        if (winner < every.size()) g_attempts.loads = every[winner];
        std::string trace;
        void* module = LoadTraced(simconnect::SearchOrder::SideBySide, "sc-i686", trace);
        const std::size_t tried = winner < every.size() ? winner + 1 : every.size();
        EXPECT_EQ(g_attempts.calls,
                  std::vector<std::string>(every.begin(), every.begin() + tried))
            << "winner " << winner;
        EXPECT_EQ(module, winner < every.size() ? &g_module : nullptr) << "winner " << winner;
        EXPECT_EQ(trace, "") << "winner " << winner;
    }
}

TEST(SimConnectLibrary, X8664LoadsBesideTheProgramThenFromTheSdkFoldersAndTracesAllWhenNoneLoads) {
    const std::string beside = "C:\\Program Files\\Aviaro\\SimConnect.dll";
    const std::string sdk2020 = "D:\\MSFS SDK\\SimConnect SDK\\lib\\SimConnect.dll";
    const std::string sdk2024 = "C:\\MSFS 2024 SDK\\SimConnect SDK\\lib\\SimConnect.dll";
    const std::vector<std::string> every = {
        "in-process SimConnect.dll", "path " + beside, "path " + sdk2020, "path " + sdk2024};
    // Whichever attempt loads ends the search and nothing is traced; when none
    // loads, each path tried is traced, in order.
    for (std::size_t winner = 0; winner <= every.size(); ++winner) {
        g_attempts = LoadAttempts();
        g_attempts.programFolder = L"C:\\Program Files\\Aviaro";
        // The installers' trailing backslash is not doubled.
        g_attempts.environment = {{L"MSFS_SDK", L"D:\\MSFS SDK\\"},
                                  {L"MSFS2024_SDK", L"C:\\MSFS 2024 SDK"}};
        if (winner < every.size()) g_attempts.loads = every[winner];
        std::string trace;
        void* module = LoadTraced(simconnect::SearchOrder::SdkFolders, "sc-x64", trace);
        const std::size_t tried = winner < every.size() ? winner + 1 : every.size();
        EXPECT_EQ(g_attempts.calls,
                  std::vector<std::string>(every.begin(), every.begin() + tried))
            << "winner " << winner;
        EXPECT_EQ(module, winner < every.size() ? &g_module : nullptr) << "winner " << winner;
        std::string missed;  // every path, when none loads ("path " cut off)
        for (std::size_t i = 1; winner == every.size() && i < every.size(); ++i) {
            missed += NotLoaded(every[i].substr(5));
        }
        EXPECT_EQ(trace, missed) << "winner " << winner;
    }

    // A variable unset or empty, or no program folder, names no place at all.
    struct Row {
        const char* what;
        std::wstring programFolder;
        std::map<std::wstring, std::wstring> environment;
        std::vector<std::string> tried;  // after the in-process attempt
    } rows[] = {
        {"neither variable set", L"C:\\Aviaro", {}, {"C:\\Aviaro\\SimConnect.dll"}},
        {"both empty", L"C:\\Aviaro", {{L"MSFS_SDK", L""}, {L"MSFS2024_SDK", L""}},
         {"C:\\Aviaro\\SimConnect.dll"}},
        {"only the 2024 SDK", L"C:\\Aviaro", {{L"MSFS_SDK", L""}, {L"MSFS2024_SDK", L"E:\\SDK"}},
         {"C:\\Aviaro\\SimConnect.dll", "E:\\SDK\\SimConnect SDK\\lib\\SimConnect.dll"}},
        {"no program folder", L"", {{L"MSFS_SDK", L"C:\\MSFS SDK"}},
         {"C:\\MSFS SDK\\SimConnect SDK\\lib\\SimConnect.dll"}},
    };
    for (const Row& row : rows) {
        g_attempts = LoadAttempts();
        g_attempts.programFolder = row.programFolder;
        g_attempts.environment = row.environment;
        std::string trace;
        EXPECT_EQ(LoadTraced(simconnect::SearchOrder::SdkFolders, "sc-x64-rows", trace), nullptr)
            << row.what;
        std::vector<std::string> calls = {"in-process SimConnect.dll"};
        std::string missed;
        for (const std::string& path : row.tried) {
            calls.push_back("path " + path);
            missed += NotLoaded(path);
        }
        EXPECT_EQ(g_attempts.calls, calls) << row.what;
        EXPECT_EQ(trace, missed) << row.what;
    }
}

}  // namespace
