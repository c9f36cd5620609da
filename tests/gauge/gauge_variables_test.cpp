#include "plugins/aviaro/gauge/gauge_variables.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "plugins/aviaro/gauge/script_evaluator.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"

namespace {

using simconnect::DWord;

// What the recording entry points saw, one line per call.
std::vector<std::string> g_calls;
HRESULT g_addResult = S_OK;
HRESULT g_mapResult = S_OK;
HRESULT g_groupResult = S_OK;

HRESULT AV_STDCALL RecordAddToDataDefinition(av::Handle, DWord defineId, const char* datumName,
                                             const char* unitsName, DWord datumType,
                                             float epsilon, DWord datumId) {
    char line[768];
    std::snprintf(line, sizeof line, "AddToDataDefinition(%u, \"%s\", \"%s\", %u, %.9g, %u)",
                  defineId, datumName, unitsName, datumType, static_cast<double>(epsilon),
                  datumId);
    g_calls.push_back(line);
    return g_addResult;
}

HRESULT AV_STDCALL RecordMapClientEventToSimEvent(av::Handle, DWord eventId,
                                                  const char* eventName) {
    char line[512];
    std::snprintf(line, sizeof line, "MapClientEventToSimEvent(%u, \"%s\")", eventId, eventName);
    g_calls.push_back(line);
    return g_mapResult;
}

HRESULT AV_STDCALL RecordAddClientEventToNotificationGroup(av::Handle, DWord groupId,
                                                           DWord eventId, int maskable) {
    char line[256];
    std::snprintf(line, sizeof line, "AddClientEventToNotificationGroup(%u, %u, %d)", groupId,
                  eventId, maskable);
    g_calls.push_back(line);
    return g_groupResult;
}

// The count a data block would be read against while the simulator is being
// given a datum.
const CGaugeVariables* g_observed = nullptr;
std::vector<int> g_countsDuringAdd;

HRESULT AV_STDCALL ObserveCountDuringAdd(av::Handle, DWord, const char*, const char*, DWord,
                                         float, DWord) {
    g_countsDuringAdd.push_back(g_observed->Count());
    return S_OK;
}

std::string DefinitionCall(DWord defineId, const char* name, const char* unit, DWord datumId) {
    char line[768];
    std::snprintf(line, sizeof line, "AddToDataDefinition(%u, \"%s\", \"%s\", 3, %.9g, %u)",
                  defineId, name, unit, static_cast<double>(0.01f), datumId);
    return line;
}

class GaugeVariables : public testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_addResult = g_mapResult = g_groupResult = S_OK;
        simconnect::EntryTable table;
        table.addToDataDefinition = &RecordAddToDataDefinition;
        table.mapClientEventToSimEvent = &RecordMapClientEventToSimEvent;
        table.addClientEventToNotificationGroup = &RecordAddClientEventToNotificationGroup;
        CSimConnectLibrary::Instance().UseEntryTable(table);
        tracePath_ = std::filesystem::temp_directory_path() /
                     ("gauge_variables_trace_" + std::to_string(std::random_device{}()) + ".log");
        CTraceLog::Instance().Open(tracePath_.wstring());
    }
    void TearDown() override {
        CTraceLog::Instance().Close();
        std::filesystem::remove(tracePath_);
        CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    }
    // The trace file as it is on disk, separator included.
    std::string TraceText() {
        CTraceLog::Instance().Close();
        std::ifstream in(tracePath_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static float Eval(CGaugeVariables& store, const std::wstring& script) {
        CScriptEvaluator evaluator(&store);
        return evaluator.Execute(script.c_str(), script.size());
    }

    std::filesystem::path tracePath_;
};

TEST_F(GaugeVariables, TestGaugeScriptsMakeOneDefinitionEntry) {
    CGaugeVariables store;
    store.SetDefineId(7);
    for (const wchar_t* script :
         {L"(G:Var1) dgrd 2 * ", L"(G:Var1) dgrd 2 * ",
          L"(A:Airspeed select indicated or true,knots)", L"(G:Var1) dgrd "}) {
        store.RegisterScript(script);
    }
    store.RegisterScript(L"(A:Airspeed select indicated or true,knots)");
    EXPECT_EQ(g_calls, (std::vector<std::string>{DefinitionCall(
                           7, "Airspeed select indicated or true", "knots", 0)}));
    EXPECT_EQ(store.Count(), 1);
    EXPECT_EQ(TraceText(), "\r\n------\r\n");
}

TEST_F(GaugeVariables, UnitsAndLettersDecideTheEntry) {
    CGaugeVariables store;
    store.SetDefineId(3);
    // Two units of one variable are two entries; case is ignored in name and
    // unit; E and P are simulator letters too, in either case.
    store.RegisterScript(
        L"(A:X,knots) (A:X,feet) (a:x,KNOTS) (E:Turb eng n1:1,percent) "
        L"(p:Local time,hours) 1 if{ (A:In block,bool) } els{ (A:In else,bool) }");
    EXPECT_EQ(g_calls, (std::vector<std::string>{
                           DefinitionCall(3, "X", "knots", 0),
                           DefinitionCall(3, "X", "feet", 1),
                           DefinitionCall(3, "Turb eng n1:1", "percent", 2),
                           DefinitionCall(3, "Local time", "hours", 3),
                           DefinitionCall(3, "In block", "bool", 4),
                           DefinitionCall(3, "In else", "bool", 5),
                       }));
    EXPECT_EQ(store.Count(), 6);
    const float block[] = {1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(store.OnReceiveData(block, sizeof block));
    store.Commit();
    EXPECT_EQ(store.Get(L'A', L"x", L"Knots"), 1.0f);
    EXPECT_EQ(store.Get(L'a', L"X", L"feet"), 2.0f);
    EXPECT_EQ(store.Get(L'e', L"turb eng n1:1", L"percent"), 3.0f);
    EXPECT_EQ(store.Get(L'A', L"X", L"meters"), 0.0f);  // not in the definition
}

TEST_F(GaugeVariables, NamesAndUnitsGoToTheSimulatorInAnsi) {
    CGaugeVariables store;
    store.SetDefineId(2);
    const std::wstring longName(300, L'n');
    store.Register(L'A', L"Caf\u00e9 \u20ac", L"knots");
    store.Register(L'A', longName, L"u");
    EXPECT_EQ(g_calls, (std::vector<std::string>{
                           DefinitionCall(2, "Caf\xe9 \x80", "knots", 0),
                           DefinitionCall(2, std::string(255, 'n').c_str(), "u", 1),
                       }));
}

TEST_F(GaugeVariables, FailedDefinitionIsTracedAndStillIndexed) {
    CGaugeVariables store;
    store.SetDefineId(4);
    g_addResult = E_FAIL;
    store.RegisterScript(L"(A:X,knots) (A:Y,feet)");
    EXPECT_EQ(store.Count(), 2);
    // Without the entry point at all.
    CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    store.RegisterScript(L"(A:Z,feet)");
    EXPECT_EQ(store.Count(), 3);
    EXPECT_EQ(TraceText(),
              "\r\n------\r\n"
              "  GaugeVariables - SimConnect::AddToDataDefinition returned 80004005\r\n"
              "  GaugeVariables - SimConnect::AddToDataDefinition returned 80004005\r\n"
              "  GaugeVariables - SimConnect::AddToDataDefinition returned 80004001\r\n");
    const float block[] = {1, 2, 3};
    EXPECT_TRUE(store.OnReceiveData(block, sizeof block));
    store.Commit();
    EXPECT_EQ(store.Get(L'A', L"Z", L"feet"), 3.0f);
}

TEST_F(GaugeVariables, ToleranceOfReceivedValues) {
    CGaugeVariables store;
    store.RegisterScript(L"(A:X,knots)");
    const float start[] = {100.0f};
    EXPECT_TRUE(store.OnReceiveData(start, sizeof start));
    EXPECT_FALSE(store.OnReceiveData(start, sizeof start));
    const float small[] = {100.004f};
    EXPECT_FALSE(store.OnReceiveData(small, sizeof small));
    store.Commit();
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 100.0f);
    const float down[] = {99.996f};
    EXPECT_FALSE(store.OnReceiveData(down, sizeof down));
    const float large[] = {100.006f};
    EXPECT_TRUE(store.OnReceiveData(large, sizeof large));
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 100.0f);  // not before Commit
    store.Commit();
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 100.006f);
}

TEST_F(GaugeVariables, SimulatorAssignmentLastsUntilTheNextCommit) {
    CGaugeVariables store;
    store.RegisterScript(L"(A:X,knots) (A:Y,knots)");
    const float block[] = {10.0f, 20.0f};
    store.OnReceiveData(block, sizeof block);
    store.Commit();
    EXPECT_EQ(Eval(store, L"42 (>A:X,knots) p (A:X,knots) (A:Y,knots) +"), 62.0f);
    EXPECT_FALSE(store.OnReceiveData(block, sizeof block));  // nothing sent, nothing received
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 42.0f);
    store.Commit();
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 10.0f);
    // An assignment to a variable outside the definition goes nowhere.
    store.Set(L'A', L"Elsewhere", L"knots", 5.0f);
    EXPECT_EQ(store.Get(L'A', L"Elsewhere", L"knots"), 0.0f);
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(GaugeVariables, LocalVariablesAreKeyedByNameAlone) {
    CGaugeVariables store;
    EXPECT_EQ(Eval(store, L"5 (>G:Var1) p (L:Var1)"), 5.0f);
    EXPECT_EQ(store.Get(L'K', L"VAR1", L"knots"), 5.0f);
    store.Set(L'x', L"var1", L"", 8.0f);
    EXPECT_EQ(store.Get(L'G', L"Var1", L""), 8.0f);
    // Registering a local again resets it.
    store.RegisterScript(L"(L:Var1)");
    EXPECT_EQ(store.Get(L'G', L"Var1", L""), 0.0f);
    EXPECT_EQ(store.Count(), 0);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(GaugeVariables, ArraysExistOnlyAfterAPreScan) {
    CGaugeVariables store;
    const float block[] = {5.0f};
    CGaugeVariables none;
    none.RegisterScript(L"(G:a) 1 +");
    // No simulator variable: no block is a change.
    EXPECT_FALSE(none.OnReceiveData(block, sizeof block));
    // Indexed by a direct registration, but no values before a pre-scan.
    store.Register(L'A', L"X", L"knots");
    EXPECT_FALSE(store.OnReceiveData(block, sizeof block));
    store.Set(L'A', L"X", L"knots", 3.0f);
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 0.0f);
    store.RegisterScript(L"(G:a) 1 +");
    EXPECT_TRUE(store.OnReceiveData(block, sizeof block));
    store.Commit();
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 5.0f);
    // Every pre-scan starts the simulator values again from 0.0, the received
    // ones too: a Commit before new data brings back nothing old, and the old
    // value arriving again is a change.
    store.RegisterScript(L"(A:Y,feet)");
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 0.0f);
    store.Commit();
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 0.0f);
    const float same[] = {5.0f, 0.0f};
    EXPECT_TRUE(store.OnReceiveData(same, sizeof same));
    store.Commit();
    EXPECT_EQ(store.Get(L'A', L"X", L"knots"), 5.0f);
}

// A block is read only as far as its size: a short one (the simulator
// rejected a datum) updates the values it holds, a long one the registered
// ones; each size that does not match is traced once. The count a block is
// read against grows only after the simulator has been given the datum.
TEST_F(GaugeVariables, BlocksAreReadOnlyAsFarAsTheirSize) {
    CGaugeVariables store;
    store.SetDefineId(9);
    g_observed = &store;
    g_countsDuringAdd.clear();
    simconnect::EntryTable table;
    table.addToDataDefinition = &ObserveCountDuringAdd;
    CSimConnectLibrary::Instance().UseEntryTable(table);
    store.RegisterScript(L"(A:W,knots) (A:X,knots) (A:Y,knots) (A:Z,knots)");
    EXPECT_EQ(g_countsDuringAdd, (std::vector<int>{0, 1, 2, 3}));
    ASSERT_EQ(store.Count(), 4);

    auto values = [&] {
        store.Commit();
        return std::vector<float>{store.Get(L'A', L"W", L"knots"), store.Get(L'A', L"X", L"knots"),
                                  store.Get(L'A', L"Y", L"knots"), store.Get(L'A', L"Z", L"knots")};
    };
    const float full[] = {11.5f, 22.25f, 33.75f, 44.5f};
    EXPECT_TRUE(store.OnReceiveData(full, sizeof full));
    EXPECT_EQ(values(), (std::vector<float>{11.5f, 22.25f, 33.75f, 44.5f}));

    // Exactly three values on the heap: reading a fourth is an overflow.
    std::vector<float> shortBlock{1.5f, 2.5f, 3.5f};
    EXPECT_TRUE(store.OnReceiveData(shortBlock.data(), 12));
    EXPECT_EQ(values(), (std::vector<float>{1.5f, 2.5f, 3.5f, 44.5f}));
    EXPECT_FALSE(store.OnReceiveData(shortBlock.data(), 12));  // same size: traced once
    // Half a value is no value.
    const float ragged[] = {6.5f, 7.5f, 8.5f, 9.5f};
    EXPECT_TRUE(store.OnReceiveData(ragged, 10));
    EXPECT_EQ(values(), (std::vector<float>{6.5f, 7.5f, 3.5f, 44.5f}));
    const float longBlock[] = {61.0f, 62.0f, 63.0f, 64.0f, 65.0f};
    EXPECT_TRUE(store.OnReceiveData(longBlock, sizeof longBlock));
    EXPECT_EQ(values(), (std::vector<float>{61.0f, 62.0f, 63.0f, 64.0f}));
    EXPECT_FALSE(store.OnReceiveData(full, 0));
    // A matching block in between: the next short one is worth a line again.
    EXPECT_TRUE(store.OnReceiveData(full, sizeof full));
    EXPECT_TRUE(store.OnReceiveData(shortBlock.data(), 12));
    EXPECT_EQ(TraceText(),
              "\r\n------\r\n"
              "  GaugeVariables - OnReceiveData: 12 bytes for 4 variables\r\n"
              "  GaugeVariables - OnReceiveData: 10 bytes for 4 variables\r\n"
              "  GaugeVariables - OnReceiveData: 20 bytes for 4 variables\r\n"
              "  GaugeVariables - OnReceiveData: 0 bytes for 4 variables\r\n"
              "  GaugeVariables - OnReceiveData: 12 bytes for 4 variables\r\n");
}

TEST_F(GaugeVariables, MapClientEventDrawsIdsAndTracesFailures) {
    const std::uint32_t first = MapClientEvent("AP_MASTER", 3);
    ASSERT_NE(first, 0u);
    const std::uint32_t second = MapClientEvent("HEADING_BUG_INC", 3);
    EXPECT_EQ(second, first + 1);
    g_mapResult = E_FAIL;
    EXPECT_EQ(MapClientEvent("BAD_EVENT", 4), 0u);
    g_mapResult = S_OK;
    g_groupResult = static_cast<HRESULT>(0xC000000Du);
    EXPECT_EQ(MapClientEvent("GEAR_UP", 5), 0u);
    const std::string f = std::to_string(first);
    const std::string s = std::to_string(second);
    const std::string bad = std::to_string(second + 1);
    const std::string gear = std::to_string(second + 2);
    EXPECT_EQ(g_calls, (std::vector<std::string>{
                           "MapClientEventToSimEvent(" + f + ", \"AP_MASTER\")",
                           "AddClientEventToNotificationGroup(3, " + f + ", 0)",
                           "MapClientEventToSimEvent(" + s + ", \"HEADING_BUG_INC\")",
                           "AddClientEventToNotificationGroup(3, " + s + ", 0)",
                           "MapClientEventToSimEvent(" + bad + ", \"BAD_EVENT\")",
                           "MapClientEventToSimEvent(" + gear + ", \"GEAR_UP\")",
                           "AddClientEventToNotificationGroup(5, " + gear + ", 0)",
                       }));
    EXPECT_EQ(TraceText(),
              "\r\n------\r\n"
              "  SimConnect_MapClientEventToSimEvent returned 80004005\r\n"
              "  SimConnect_AddClientEventToNotificationGroup returned C000000D\r\n");
    // The next id follows the failed ones: ids are never given back.
    g_groupResult = S_OK;
    EXPECT_EQ(MapClientEvent("GEAR_DOWN", 5), second + 3);
}

// The page's threads as they share one store: the render thread evaluates the
// drawing scripts after each Commit, the device thread runs knob actions and
// the simulator thread delivers data blocks.
TEST_F(GaugeVariables, ThreadsShareTheStoreSafely) {
    CGaugeVariables store;
    const std::wstring airspeed = L"(A:Airspeed select indicated or true,knots)";
    store.RegisterScript(airspeed.c_str());
    const CScript render(&store, L"(G:Var1) dgrd 2 * (A:Airspeed select indicated or true,knots) +");
    const CScript up(&store, L"(G:Var1) 1 + 30 min d (&gt;G:Var1)");
    std::atomic<bool> stop{false};
    std::mutex pageMutex;
    std::thread simulator([&] {
        for (int i = 0; i < 2000; ++i) {
            const float block[] = {static_cast<float>(i)};
            store.OnReceiveData(block, sizeof block);
        }
    });
    std::thread renderer([&] {
        CScriptEvaluator evaluator(&store);
        while (!stop.load()) {
            {
                std::lock_guard<std::mutex> lock(pageMutex);
                store.Commit();
            }
            evaluator.Execute(render);
        }
    });
    std::thread device([&] {
        CScriptEvaluator evaluator(&store);
        for (int i = 0; i < 40; ++i) evaluator.Execute(up);
    });
    simulator.join();
    device.join();
    stop = true;
    renderer.join();
    store.Commit();
    EXPECT_EQ(store.Get(L'G', L"Var1", L""), 30.0f);
    EXPECT_EQ(store.Get(L'A', L"Airspeed select indicated or true", L"knots"), 1999.0f);
}

}  // namespace
