// The multi panel through simulated units: the reports it writes for
// simulator data, the events its input sends, and how units come and go.
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <cwctype>
#include <thread>

#include "platform/registry.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/panels/panel_autopilot.h"
#include "plugins/aviaro/panels/panel_backlit.h"
#include "plugins/aviaro/panels/panel_radios.h"
#include "tests/panels/panel_fixture.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

constexpr std::uint8_t B = 0xFF;  // blank
constexpr std::uint8_t M = 0x0E;  // minus
const Report kDark = Display({B, B, B, B, B, B, B, B, B, B});
const Report kDetached = Display({15, 15, 15, 15, 15, 15, 15, 15, 15, 15});

// Words: 0 avionics, 1 battery, 2-5 alternators, 6 altitude, 7 vertical speed,
// 8 heading, 9 airspeed, 10 course, 11 auto-throttle armed, 12-19 lamps,
// 20 and 21 partial panel electrical and avionics.
using Multi = Words<22>;
Multi On() { return Multi().Word(0, 1).Word(1, 1); }

}  // namespace

// Each row: a panel whose datums named fail, the group it is given, its
// definition's calls (some pinned), and its mapped events' name prefixes.
TEST_F(PanelTest, DefinitionsGoOnOrEndAtAFailedDatum) {
    const struct {
        const char* what;
        std::unique_ptr<CPanelClass> (*make)();
        std::vector<std::string> failing;
        std::uint32_t group, advance;
        std::size_t calls;
        std::map<std::size_t, std::string> pinned;
        std::string mapped;
    } rows[] = {
        {"multi: a failed power datum goes on, a failed own one ends it before any event",
         [] { return std::unique_ptr<CPanelClass>(new CPanelClass_Autopilot); },
         {"\"ELECTRICAL MASTER BATTERY\"", "\"AUTOPILOT MASTER\""}, 3, 1, 9,
         {{2, "\"AUTOPILOT ALTITUDE LOCK VAR\" units=\"Feet\" type=3 epsilon=0 datumId=2 -> 00000000"},
          {8, "\"AUTOPILOT MASTER\" units=\"BOOL\" type=1 epsilon=0 datumId=8 -> 80004005"}}, ""},
        {"radio: the ADF's events after the transponder's, then the priority",
         [] { return std::unique_ptr<CPanelClass>(new CPanelClass_Radios); }, {}, 9, 1, 27 + 2 * 33 + 1,
         {{17, "\"nav dme:1\" units=\"nmiles\" type=3 epsilon=0 datumId=17 -> 00000000"}},
         "COM COM COM COM COM COM2 COM2 COM2 COM2 COM2 NAV1 NAV1 NAV1 NAV1 NAV1 NAV2 NAV2 NAV2 NAV2 NAV2 "
         "XPNDR XPNDR XPNDR XPNDR XPNDR XPNDR XPNDR XPNDR ADF1 ADF1 ADF1 ADF1 ADF1 "},
        {"backlit: four groups and no events; a failure ends its own group only",
         [] { return std::unique_ptr<CPanelClass>(new CPanelClass_Backlit); }, {"\"CANOPY OPEN\""}, 30, 0,
         3 + 19 + 12 + 9,
         {{3, "\"NUMBER OF ENGINES\" units=\"Number\" type=1 epsilon=0 datumId=3 -> 00000000"},
          {42, "\"FUEL CROSS FEED\" units=\"Enum\" type=1 epsilon=0 datumId=42 -> 00000000"}}, ""},
    };
    for (const auto& row : rows) {
        const std::string d = "SimConnect_AddToDataDefinition define=" +
                              std::to_string(CSimConnectLibrary::Instance().NextDefinitionId() + 1) + " datum=";
        for (const std::string& datum : row.failing) standin::SimStandIn::Instance().FailCallsStartingWith(d + datum);
        const std::unique_ptr<CPanelClass> panel = row.make();
        Initialize(*panel, row.group, row.advance);
        ASSERT_EQ(initCalls_.size(), row.calls) << row.what;
        for (const auto& [index, call] : row.pinned) EXPECT_EQ(initCalls_[index], d + call) << row.what;
        std::string mapped;
        for (const auto& [id, name] : ids_) mapped += name.substr(0, name.find('_')) + ' ';
        EXPECT_EQ(mapped, row.mapped) << row.what;
    }
}

// Each row: the record, what the unit shows, the selector (altitude unless given).
TEST_F(PanelTest, DisplaysFollowTheRecord) {
    struct Row {
        const char* what;
        Multi record;
        Report shown;
        std::uint8_t selector = 0x01;
    };
    const Row rows[] = {
        {"climb", On().Float(6, 12345).Float(7, 1500), Display({1, 2, 3, 0, 0, B, 1, 5, 0, 0})},
        {"low, descent under 1000", On().Float(6, 500).Float(7, -700), Display({0, 0, 5, 0, 0, B, M, 7, 0, 0})},
        {"altitude wraps, fast descent", On().Float(6, 123456).Float(7, -1500), Display({2, 3, 4, 0, 0, M, 1, 5, 0, 0})},
        {"slow climb", On().Float(6, 9876).Float(7, 300), Display({0, 9, 8, 0, 0, B, B, 3, 0, 0})},
        {"past single-precision -999.9", On().Float(6, 7200).Float(7, -999.95f), Display({0, 7, 2, 0, 0, M, 0, 9, 0, 0})},
        {"single-precision 999.9", On().Float(7, 999.9f), Display({0, 0, 0, 0, 0, B, B, 9, 0, 0})},
        {"single-precision -999.9", On().Float(6, 61000).Float(7, -999.9f), Display({6, 1, 0, 0, 0, B, M, 9, 0, 0})},
        {"vertical-speed selector", On().Float(6, 4321).Float(7, 2700), Display({0, 4, 3, 0, 0, B, 2, 7, 0, 0}), 0x02},
        {"airspeed", On().Float(9, 5).Float(8, 270), Display({B, B, 0, 0, 5, B, B, B, B, B}), 0x04},
        {"heading", On().Float(9, 5).Float(8, 128.7f), Display({B, B, 1, 2, 8, B, B, B, B, B}), 0x08},
        {"course wraps", On().Float(10, 1234).Float(8, 99), Display({B, B, 2, 3, 4, B, B, B, B, B}), 0x10},
        {"lamps", On().Float(6, 3000).Word(12, 1).Word(14, 1).Word(17, 1).Word(16, 1), Display({0, 3, 0, 0, 0, B, B, 0, 0, 0}, 0x95)},
        {"the other lamps", On().Word(13, 1).Word(19, 1).Word(18, 1).Word(15, 1), Display({0, 0, 0, 0, 0, B, B, 0, 0, 0}, 0x6A)},
        {"no battery or alternator", Multi().Word(0, 1).Float(6, 3000).Word(12, 1), kDark},
        {"alternator 4 alone", Multi().Word(0, 1).Word(5, 1).Float(6, 3000), Display({0, 3, 0, 0, 0, B, B, 0, 0, 0})},
        {"partial panel electrical", On().Float(6, 3000).Word(12, 1).Word(20, 1), kDark},
        {"partial panel avionics", On().Float(9, 120).Word(19, 1).Word(21, 2), kDark, 0x04},
    };
    for (const Row& row : rows) {
        CPanelClass_Autopilot panel;
        Initialize(panel);
        Report feature(13, 0);
        feature[1] = row.selector;
        Attach(kPath, 0x0A21, feature);
        panel.OpenDevice(kPath.c_str());
        EXPECT_EQ(Written(), std::vector<Report>{kDark}) << row.what;  // before any data
        Data(panel, row.record);
        Data(panel, row.record);  // the same again writes nothing, nor does a display staying dark
        EXPECT_EQ(Written(), row.shown == kDark ? std::vector<Report>{} : std::vector<Report>{row.shown}) << row.what;
        panel.CloseAllDevices();
        EXPECT_EQ(Written(), std::vector<Report>{kDetached}) << row.what;
        av::platform::VirtualHidClearUnits();
    }
}

TEST_F(PanelTest, UnitsComeAndGoByPathWithoutCase) {
    CPanelClass_Autopilot panel;
    Initialize(panel);
    std::wstring upper = kPath;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    const std::wstring radio = L"\\\\?\\hid#vid_2b71&pid_0a22#1";
    Attach(kPath);
    Attach(radio, 0x0A22);
    panel.OpenDevice(kPath.c_str());   // found at start
    panel.OpenDevice(upper.c_str());   // and announced again on arrival
    panel.OpenDevice(radio.c_str());   // not this panel's product
    EXPECT_EQ(panel.DeviceCount(), 1u);
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 2);  // its own and the reader's
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(radio), 0);
    panel.CloseDevice(upper.c_str());
    EXPECT_EQ(panel.DeviceCount(), 0u);
    EXPECT_EQ(Written(), (std::vector<Report>{kDark, kDetached}));

    // Unplugged mid-read: the pending read fails and the removal closes
    // everything; plugged in again it opens afresh.
    panel.OpenDevice(kPath.c_str());
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
    av::platform::VirtualHidUnplug(kPath);
    panel.CloseDevice(kPath.c_str());
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 0);
    Attach(kPath);
    panel.OpenDevice(kPath.c_str());
    Data(panel, On().Float(6, 2500));
    Feed({In(0x21)});
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"AP_ALT_VAR_INC"});
    panel.CloseAllDevices();
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 0);

    // The serial number fills at most 126 units with its terminator.
    for (std::size_t length : {125u, 126u}) {
        const std::wstring path = L"\\\\?\\hid#serial" + std::to_wstring(length);
        std::wstring serial;
        for (std::size_t i = 0; i < length; ++i) serial += static_cast<wchar_t>(L'A' + i % 26);
        Attach(path, 0x0A21, Report(13, 0), 4, serial);
        CHidPanelDevice device;
        ASSERT_TRUE(device.Open(path, &panel));
        EXPECT_EQ(device.GetSerialNumber(), length < 126 ? serial : std::wstring()) << length;
        device.Close();
    }
}

// Each row: the record, then reports one after the other (the first compared
// with all zero), and the events they send.
TEST_F(PanelTest, InputBecomesEvents) {
    const Multi on = On().Float(6, 8000).Float(8, 90);
    struct Row {
        const char* what;
        Multi record;
        std::vector<Report> reports;
        std::vector<std::string> events;
    };
    const Row rows[] = {
        {"knob both ways", on, {In(0x21), In(0x01), In(0x41), In(0x01), In(0x61)},
         {"AP_ALT_VAR_INC", "AP_ALT_VAR_DEC", "AP_ALT_VAR_INC", "AP_ALT_VAR_DEC"}},
        {"a bit set at open counts as pressed", on, {In(0x01, 0x01)}, {"AP_PANEL_HEADING_HOLD"}},
        {"selector and knob in one report", on, {In(0x01), In(0x28)}, {"HEADING_BUG_INC"}},
        {"each selector position", on, {In(0x22), In(0x02), In(0x44), In(0x04), In(0x28), In(0x08), In(0x50)},
         {"AP_VS_VAR_INC", "AP_SPD_VAR_DEC", "HEADING_BUG_INC", "VOR1_OBI_DEC"}},
        {"two selector bits at once leave it", on, {In(0x08), In(0x0B), In(0x4B)}, {"HEADING_BUG_DEC"}},
        {"a held button sends once", on, {In(0x01, 0x02), In(0x01, 0x02), In(0x01), In(0x01, 0x02)},
         {"AP_NAV1_HOLD", "AP_NAV1_HOLD"}},
        {"one report's events in bit order", on, {In(0xA1, 0xFF, 0x05)},
         {"AP_ALT_VAR_INC", "AP_MASTER", "AP_PANEL_HEADING_HOLD", "AP_NAV1_HOLD", "AP_PANEL_SPEED_HOLD",
          "AP_PANEL_ALTITUDE_HOLD", "AP_VS_HOLD", "AP_APR_HOLD", "AP_BC_HOLD", "AUTO_THROTTLE_ARM",
          "FLAPS_DECR", "ELEV_TRIM_DN"}},
        {"flaps up, trim up", on, {In(0x01, 0, 0x0A)}, {"FLAPS_INCR", "ELEV_TRIM_UP"}},
        {"auto-throttle on while armed", Multi(on).Word(11, 1), {In(0x01, 0x80)}, {}},
        {"auto-throttle on then off, not armed", on, {In(0x01, 0x80), In(0x01)}, {"AUTO_THROTTLE_ARM"}},
        {"auto-throttle off while armed", Multi(on).Word(11, 1), {In(0x01, 0x80), In(0x01)}, {"AUTO_THROTTLE_ARM"}},
        {"no power: auto-throttle, flaps, trim", Multi(on).Word(0, 0), {In(0xA1, 0xFF, 0x0A)},
         {"AUTO_THROTTLE_ARM", "FLAPS_INCR", "ELEV_TRIM_UP"}},
        {"partial panel: the same", Multi(on).Word(21, 1), {In(0xE1, 0x7F, 0x04)}, {"ELEV_TRIM_DN"}},
        {"a report cut short is ignored", on, {{0, 0x21, 0}, In(0x21)}, {"AP_ALT_VAR_INC"}},
    };
    for (const Row& row : rows) {
        CPanelClass_Autopilot panel;
        Initialize(panel);
        Attach(kPath);
        panel.OpenDevice(kPath.c_str());
        Data(panel, row.record);
        Feed(row.reports);
        EXPECT_EQ(TakeEvents(), row.events) << row.what;
        panel.CloseAllDevices();
        av::platform::VirtualHidClearUnits();
    }
}

TEST_F(PanelTest, SelectorShowsItsValueAtOnce) {
    CPanelClass_Autopilot panel;
    Initialize(panel);
    Report feature(13, 0);
    feature[1] = 0x03;  // between two positions: altitude
    Attach(kPath, 0x0A21, feature);
    panel.OpenDevice(kPath.c_str());
    const Multi first = On().Float(6, 4500).Float(9, 140).Float(8, 45).Word(19, 1);
    // Another request's block, and one a byte short: neither is ours.
    panel.OnSimObjectData(panel.DefinitionId() + 1, first.words.data(), 88);
    panel.OnSimObjectData(panel.DefinitionId(), first.words.data(), 87);
    Data(panel, first);
    const Report altitude = Display({0, 4, 5, 0, 0, B, B, 0, 0, 0}, 0x08);
    EXPECT_EQ(Written(), (std::vector<Report>{kDark, altitude}));
    // Airspeed, not shown, changes: nothing written. Turned to heading, the
    // heading shows at once; a knob step leaves the display as it is.
    Data(panel, Multi(first).Float(9, 150));
    Feed({In(0x01), In(0x08), In(0x28), In(0x08)});
    EXPECT_EQ(Written(), std::vector<Report>{Display({B, B, 0, 4, 5, B, B, B, B, B}, 0x08)});
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"HEADING_BUG_INC"});
    // Altitude and vertical speed show the same digits: the turn is written
    // all the same, resting on it is not.
    Feed({In(0x01), In(0x02), In(0x02)});
    EXPECT_EQ(Written(), (std::vector<Report>{altitude, altitude}));
    panel.CloseAllDevices();
}

// Through the panel's own group up to id 20, by priority above it; never
// when unmapped or switched off in the registry (a DWORD of 1 only).
TEST_F(PanelTest, TransmitRules) {
    const struct {
        std::uint32_t group;
        bool masterUnmapped;  // the events after it are still mapped
        std::uint32_t sentGroup, flags;
        std::vector<std::string> events;
    } rows[] = {
        {20, false, 20, 0, {"AP_MASTER", "AP_PANEL_HEADING_HOLD"}},
        {21, false, 1, 0x10, {"AP_MASTER", "AP_PANEL_HEADING_HOLD"}},
        {7, true, 7, 0, {"AP_PANEL_HEADING_HOLD"}},
    };
    Attach(kPath);
    for (const auto& row : rows) {
        CPanelClass_Autopilot panel;
        if (row.masterUnmapped) {
            standin::SimStandIn::Instance().FailCallsStartingWith(
                "SimConnect_MapClientEventToSimEvent id=" +
                std::to_string(CSimConnectLibrary::Instance().NextEventId() + 11) + " ");
        }
        Initialize(panel, row.group);
        panel.OpenDevice(kPath.c_str());
        Data(panel, On());
        Feed({In(0x81, 0x01)});
        EXPECT_EQ(TakeEvents(row.sentGroup, row.flags), row.events) << row.group;
        panel.CloseAllDevices();
    }
    Written();
    const std::wstring key = L"SOFTWARE\\Orlend\\VelPanels\\NoTransmit";
    for (std::uint32_t value : {0x101u, 1u}) {
        ASSERT_TRUE(av::platform::WriteRegistryDword(av::platform::RegistryRoot::LocalMachine, key, L"", value));
        CPanelClass_Autopilot panel;
        Initialize(panel);
        panel.OpenDevice(kPath.c_str());
        Data(panel, On().Float(6, 1000));
        Feed({In(0x21, 0x80, 0x01)});
        const std::vector<std::string> all = {"AP_ALT_VAR_INC", "AUTO_THROTTLE_ARM", "FLAPS_DECR"};
        EXPECT_EQ(TakeEvents(), value == 1 ? std::vector<std::string>{} : all) << value;
        // The display follows the simulator either way.
        EXPECT_EQ(Written(), (std::vector<Report>{kDark, Display({0, 1, 0, 0, 0, B, B, 0, 0, 0})})) << value;
        panel.CloseAllDevices();
        Written();
    }
    ASSERT_TRUE(av::platform::WriteRegistryString(av::platform::RegistryRoot::LocalMachine, key, L"", L"1"));
    EXPECT_TRUE(CPanelClass_Autopilot().Transmits());
}

// The reader's reports and the simulator's records at once: every knob step
// becomes exactly one event, and the unit ends up showing the last record.
TEST_F(PanelTest, InputAndDataFromTwoThreads) {
    CPanelClass_Autopilot panel;
    Initialize(panel);
    Attach(kPath);
    panel.OpenDevice(kPath.c_str());
    Data(panel, On());
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
    constexpr int kSteps = 200;
    std::thread knob([&] {
        for (int i = 0; i < kSteps; ++i) {
            av::platform::VirtualHidFeed(kPath, In(0x21));
            av::platform::VirtualHidFeed(kPath, In(0x01));
        }
    });
    for (int alt = 100; alt <= 40000; alt += 100) {
        Data(panel, On().Float(6, static_cast<float>(alt)).Word(17, alt % 200 == 0));
        CClientEventQueue::Instance().Flush();
    }
    knob.join();
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
    CClientEventQueue::Instance().Flush();
    EXPECT_EQ(TakeEvents(), std::vector<std::string>(kSteps, "AP_ALT_VAR_INC"));
    const std::vector<Report> written = Written();
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back(), Display({4, 0, 0, 0, 0, B, B, 0, 0, 0}, 0x10));
    panel.CloseAllDevices();
}

// A reader the driver does not let go of is left behind after the time-out:
// the unit is still detached and closed, and what the reader sees afterwards
// reaches nothing.
TEST_F(PanelTest, AReaderStuckInTheDriverIsLeftBehind) {
    CHidPanelDevice::SetReaderStopTimeout(200);
    {
        CPanelClass_Autopilot panel;
        Initialize(panel);
        Attach(kPath);
        panel.OpenDevice(kPath.c_str());
        Data(panel, On().Float(6, 2500));
        ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
        Written();
        av::platform::VirtualHidHoldReads(kPath, true);
        const auto start = std::chrono::steady_clock::now();
        panel.CloseDevice(kPath.c_str());
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(200));
        EXPECT_LT(waited, std::chrono::milliseconds(5000));
        EXPECT_EQ(Written(), std::vector<Report>{kDetached});
        EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 1);  // the reader's own
    }
    av::platform::VirtualHidFeed(kPath, In(0x21));
    av::platform::VirtualHidHoldReads(kPath, false);
    for (int i = 0; i < 500 && av::platform::VirtualHidOpenHandles(kPath) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 0);
    CClientEventQueue::Instance().Flush();
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_TRUE(Written().empty());
    CHidPanelDevice::SetReaderStopTimeout(30000);
}
