#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/message_loop.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "plugins/aviaro/host/aviaro_base.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "tools/simconnect_standin/sim_model.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

using standin::AircraftModel;

std::vector<std::int32_t> Ints(const std::vector<unsigned char>& bytes) {
    std::vector<std::int32_t> out(bytes.size() / 4);
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * 4);
    return out;
}

TEST(AircraftModel, EffectsChangeVariablesAsARadioWould) {
    AircraftModel m;
    std::string error;
    EXPECT_FALSE(m.Active());
    for (const char* line : {
             "init \"COM ACTIVE FREQUENCY:1\" 0x1850",
             "init \"com standby frequency:1\" 0x3695",
             "init \"transponder code:1\" 0x7677",
             "effect COM_RADIO_WHOLE_INC bcd \"com standby frequency:1\" 100",
             "effect com_radio_fract_dec_carry bcd \"com standby frequency:1\" -5",
             "effect COM_STBY_RADIO_SWAP swap \"com active frequency:1\" \"com standby frequency:1\"",
             "effect XPNDR_1_INC nibble \"transponder code:1\" 0 1 8",
             "effect XPNDR_1000_DEC nibble \"transponder code:1\" 12 -1 8",
             "effect AP_MASTER toggle \"autopilot master\"",
             "effect AP_ALT_VAR_INC add \"autopilot altitude lock var\" 100",
         }) {
        EXPECT_TRUE(m.Configure(line, error)) << line << ": " << error;
    }
    EXPECT_TRUE(m.Active());
    for (const char* bad : {"init \"x\"", "init \"x\" abc", "effect E bcd \"x\"", "effect E frob \"x\"",
                            "effect E nibble \"x\" 40 1 8", "effect E swap \"x", "effect E"}) {
        EXPECT_FALSE(m.Configure(bad, error)) << bad;
    }
    m.MapEvent(5, "COM_RADIO_WHOLE_INC");
    m.MapEvent(6, "COM_RADIO_FRACT_DEC_CARRY");
    m.MapEvent(7, "COM_STBY_RADIO_SWAP");
    m.MapEvent(8, "XPNDR_1_INC");
    m.MapEvent(9, "XPNDR_1000_DEC");
    m.MapEvent(10, "AP_MASTER");
    m.MapEvent(11, "AP_ALT_VAR_INC");
    m.MapEvent(12, "NO_EFFECT");

    EXPECT_TRUE(m.Transmit(5, 0));  // 136.95 -> 137.95
    EXPECT_EQ(m.Value("com standby frequency:1"), 0x3795);
    EXPECT_TRUE(m.Transmit(6, 0));  // 137.95 -> 137.90
    EXPECT_EQ(m.Value("com standby frequency:1"), 0x3790);
    for (int i = 0; i < 63; ++i) m.Transmit(5, 0);  // wraps past 199.99
    EXPECT_EQ(m.Value("com standby frequency:1"), 0x0090);
    EXPECT_TRUE(m.Transmit(7, 0));
    EXPECT_EQ(m.Value("com active frequency:1"), 0x0090);
    EXPECT_EQ(m.Value("com standby frequency:1"), 0x1850);
    EXPECT_TRUE(m.Transmit(8, 0));  // 7677 -> 7670: octal digit wraps
    EXPECT_EQ(m.Value("transponder code:1"), 0x7670);
    EXPECT_TRUE(m.Transmit(9, 0));  // 7670 -> 6670
    EXPECT_EQ(m.Value("transponder code:1"), 0x6670);
    EXPECT_TRUE(m.Transmit(10, 0));
    EXPECT_TRUE(m.Transmit(10, 0));
    EXPECT_EQ(m.Value("AUTOPILOT MASTER"), 0);
    EXPECT_TRUE(m.Transmit(11, 0));
    EXPECT_EQ(m.Value("autopilot altitude lock var"), 100);
    EXPECT_FALSE(m.Transmit(12, 0));
    EXPECT_FALSE(m.Transmit(99, 0));
}

TEST(AircraftModel, RequestsAreServedInTheirTypesAndOnlyWhenChangedIfAsked) {
    AircraftModel m;
    std::string error;
    ASSERT_TRUE(m.Configure("init \"a\" 2.5", error));
    m.AddDatum(2, "A", 1);   // INT32
    m.AddDatum(2, "b", 4);   // FLOAT64, never set: 0
    m.AddDatum(3, "a", 3);   // FLOAT32
    m.Request(1, 2, 3, 1);   // every frame, changed only
    m.Request(2, 3, 1, 0);   // once
    m.Request(4, 3, 3, 0);   // every frame

    std::vector<AircraftModel::Block> frame = m.Frame();
    ASSERT_EQ(frame.size(), 3u);
    EXPECT_EQ(frame[0].request, 1u);
    ASSERT_EQ(frame[0].bytes.size(), 12u);
    EXPECT_EQ(Ints(frame[0].bytes)[0], 2);
    float f = 0;
    std::memcpy(&f, frame[1].bytes.data(), 4);
    EXPECT_EQ(f, 2.5f);
    EXPECT_EQ(frame[2].request, 4u);

    frame = m.Frame();  // unchanged: only the request without the flag
    ASSERT_EQ(frame.size(), 1u);
    EXPECT_EQ(frame[0].request, 4u);

    EXPECT_TRUE(m.Set("set \"A\" 7", error));
    EXPECT_FALSE(m.Set("set \"A\" 7", error));
    EXPECT_FALSE(m.Set("set A", error));
    m.Request(4, 3, 0, 0);  // NEVER ends it
    frame = m.Frame();
    ASSERT_EQ(frame.size(), 1u);
    EXPECT_EQ(frame[0].request, 1u);
    EXPECT_EQ(Ints(frame[0].bytes)[0], 7);
}

// A client that asks for a radio, presses the whole-MHz increase when the
// first block arrives and quits when the answer comes back.
class RadioClient : public CAviaroBase {
public:
    std::vector<std::int32_t> seen;
    std::uint32_t wholeInc = 0;

    void OnSimStart() override {
        CSimConnectLibrary& sim = CSimConnectLibrary::Instance();
        wholeInc = sim.NextEventId();
        sim.MapClientEventToSimEvent(wholeInc, "COM_RADIO_WHOLE_INC");
        const std::uint32_t define = sim.NextDefinitionId();
        sim.AddToDataDefinition(define, "COM STANDBY FREQUENCY:1", "Frequency BCD16", 1, 0, 0);
        sim.RequestDataOnSimObject(1, define, 0, 3, 1, 0, 0, 0);
    }
    void OnSimData(std::uint32_t requestId, const void* data, std::uint32_t size) override {
        if (requestId != 1 || size != 4) return;
        std::int32_t v;
        std::memcpy(&v, data, 4);
        seen.push_back(v);
        if (seen.size() == 1) {
            CSimConnectLibrary::Instance().TransmitClientEvent(0, wholeInc, 0, 1, 0);
        } else {
            standin::SimStandIn::Instance().LoadScript("quit\n");
            av::platform::SignalEvent(Event());
        }
    }
};

TEST(SimStandInModel, APressComesBackAsNewData) {
    standin::SimStandIn& sim = standin::SimStandIn::Instance();
    sim.Reset();
    CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());
    sim.LoadScript(
        "init \"com standby frequency:1\" 0x2200\n"
        "effect COM_RADIO_WHOLE_INC bcd \"com standby frequency:1\" 100\n"
        "SimStart\n");
    RadioClient client;
    EXPECT_TRUE(client.Run(nullptr));
    EXPECT_EQ(client.seen, (std::vector<std::int32_t>{0x2200, 0x2300}));
    EXPECT_EQ(sim.ModelValue("COM STANDBY FREQUENCY:1"), 0x2300);
    const std::vector<std::string> records = sim.Records();
    int modelBlocks = 0;
    for (const std::string& r : records) {
        if (r == "deliver SIMOBJECT_DATA request=1 size=4 (model)") ++modelBlocks;
    }
    EXPECT_EQ(modelBlocks, 2);
    CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    sim.Reset();
}

// "at" holds a line back without holding up the client: a window message
// posted meanwhile is served before the held line arrives.
class PatientClient : public CAviaroBase {
public:
    std::vector<std::string> calls;
    bool OnInitialize() override {
        av::platform::PostWindowMessage(Window(), 0x8002, 0, 0);
        return true;
    }
    void OnSimStart() override { calls.push_back("start"); }
    void OnSimStop() override { calls.push_back("stop"); }
    std::intptr_t OnWindowMessage(std::uint32_t message, std::uintptr_t, std::intptr_t) override {
        if (message != 0x8002) return 0;
        calls.push_back("message");
        return 1;
    }
};

TEST(SimStandInScript, AtHoldsALineBackWithoutBlockingTheClient) {
    standin::SimStandIn& sim = standin::SimStandIn::Instance();
    sim.Reset();
    CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());
    sim.LoadScript("SimStart\nat 200; SimStop; quit\n");
    PatientClient client;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(client.Run(nullptr));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, std::chrono::milliseconds(200));
    EXPECT_EQ(client.calls, (std::vector<std::string>{"start", "message", "stop"}));
    CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    sim.Reset();
}

// Asked for, each line of the record file starts with the system clock's
// milliseconds, the clock the device-library stand-in stamps its record with.
TEST(SimStandInRecord, FileLinesCarryTheSystemTimeWhenAsked) {
    standin::SimStandIn& sim = standin::SimStandIn::Instance();
    sim.Reset();
    const std::string path = av::platform::ToUtf8(
        av::platform::JoinPath(av::platform::GetExecutableFolder(), L"sim-record-time.txt"));
    std::remove(path.c_str());
    sim.SetRecordFile(path);
    const auto now = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const long long before = now();
    sim.SetRecordTime(true);
    sim.Record("deliver EVENT id=1");
    const long long after = now();
    sim.SetRecordTime(false);
    sim.Record("quit");
    std::string text;
    ASSERT_TRUE(av::platform::ReadFileBytes(path.c_str(), text));
    const std::size_t space = text.find(' ');
    ASSERT_NE(space, std::string::npos) << text;
    const long long at = std::stoll(text.substr(0, space));
    EXPECT_GE(at, before);
    EXPECT_LE(at, after);
    EXPECT_EQ(text.substr(space + 1), "deliver EVENT id=1\nquit\n");
    EXPECT_EQ(sim.Records(), (std::vector<std::string>{"deliver EVENT id=1", "quit"}));
    sim.Reset();
    std::remove(path.c_str());
}

}  // namespace
