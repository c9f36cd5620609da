// The multi panel through simulated units: what it defines and maps, the
// reports it writes for simulator data, the events its input sends, and how
// units come and go.
#include <algorithm>
#include <chrono>
#include <cwctype>
#include <thread>

#include "platform/registry.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "tests/panels/panel_fixture.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

constexpr std::uint8_t B = 0xFF;  // blank
constexpr std::uint8_t M = 0x0E;  // minus

// Input report bytes 1-3 (report ID 0).
Report In(std::uint8_t b1, std::uint8_t b2 = 0, std::uint8_t b3 = 0) { return {0, b1, b2, b3}; }

}  // namespace

TEST_F(PanelTest, DefinesTheRecordAndMapsTheEventsInOrder) {
    CPanelClass_Autopilot panel;
    Initialize(panel, 9);
    const std::string d = "SimConnect_AddToDataDefinition define=" +
                          std::to_string(panel.DefinitionId()) + " datum=";
    // Every datum and event, in order, is pinned by the Wine run of the shipped
    // program (tests/wine/e2e_connection.sh); here the group id given is used.
    ASSERT_EQ(initCalls_.size(), 22u + 46u + 1u);
    EXPECT_EQ(initCalls_[21], d + "\"PARTIAL PANEL AVIONICS\" units=\"ENUM\" type=1 epsilon=0 datumId=21 -> 00000000");
    const std::string last = std::to_string(ids_.rbegin()->first);
    EXPECT_EQ(initCalls_[66], "SimConnect_MapClientEventToSimEvent id=" + last + " name=\"ELEV_TRIM_DN\" -> 00000000");
    EXPECT_EQ(initCalls_[67], "SimConnect_AddClientEventToNotificationGroup group=9 id=" + last + " maskable=0 -> 00000000");
    EXPECT_EQ(initCalls_.back(), "SimConnect_SetNotificationGroupPriority group=9 priority=1 -> 00000000");
    EXPECT_EQ(panel.GroupId(), 9u);

    panel.RequestSimData();
    const std::string def = std::to_string(panel.DefinitionId());
    EXPECT_EQ(TakeSimCalls(), std::vector<std::string>{"SimConnect_RequestDataOnSimObject request=" + def +
                                                       " define=" + def +
                                                       " object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000"});

    // A failed power datum still lets the record go on (with the next datum
    // id); a failed own datum ends the definition before any event is mapped.
    CPanelClass_Autopilot failing;
    const std::uint32_t nextDefine = CSimConnectLibrary::Instance().NextDefinitionId() + 1;
    const std::string fd = "SimConnect_AddToDataDefinition define=" + std::to_string(nextDefine) + " datum=";
    standin::SimStandIn::Instance().FailCallsStartingWith(fd + "\"ELECTRICAL MASTER BATTERY\"");
    standin::SimStandIn::Instance().FailCallsStartingWith(fd + "\"AUTOPILOT MASTER\"");
    std::uint32_t next = 3;
    failing.InitSimData(&next);
    const std::vector<std::string> calls = TakeSimCalls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[1], fd + "\"ELECTRICAL MASTER BATTERY\" units=\"Bool\" type=1 epsilon=0 datumId=1 -> 80004005");
    EXPECT_EQ(calls[2], fd + "\"AUTOPILOT ALTITUDE LOCK VAR\" units=\"Feet\" type=3 epsilon=0 datumId=2 -> 00000000");
    EXPECT_EQ(calls[8], fd + "\"AUTOPILOT MASTER\" units=\"BOOL\" type=1 epsilon=0 datumId=8 -> 80004005");
    EXPECT_EQ(next, 4u);
}

// Each row: the record the simulator sends and what the unit shows, with the
// selector on altitude unless given.
TEST_F(PanelTest, DisplaysFollowTheRecord) {
    struct Row {
        const char* what;
        MultiRecord record;
        Report shown;
        std::uint8_t selector = 0x01;
    };
    const std::vector<Row> rows = {
        {"altitude and climb", MultiRecord().Powered().Altitude(12345).VerticalSpeed(1500),
         Display({1, 2, 3, 0, 0, B, 1, 5, 0, 0})},
        {"low altitude, descent under 1000",
         MultiRecord().Powered().Altitude(500).VerticalSpeed(-700),
         Display({0, 0, 5, 0, 0, B, M, 7, 0, 0})},
        {"altitude wraps, fast descent",
         MultiRecord().Powered().Altitude(123456).VerticalSpeed(-1500),
         Display({2, 3, 4, 0, 0, M, 1, 5, 0, 0})},
        {"slow climb", MultiRecord().Powered().Altitude(9876).VerticalSpeed(300),
         Display({0, 9, 8, 0, 0, B, B, 3, 0, 0})},
        {"level", MultiRecord().Powered().VerticalSpeed(0), Display({0, 0, 0, 0, 0, B, B, 0, 0, 0})},
        {"just past the single-precision 999.9",
         MultiRecord().Powered().Altitude(7200).VerticalSpeed(-999.95f),
         Display({0, 7, 2, 0, 0, M, 0, 9, 0, 0})},
        {"single-precision 999.9 itself",
         MultiRecord().Powered().VerticalSpeed(999.9f), Display({0, 0, 0, 0, 0, B, B, 9, 0, 0})},
        {"single-precision -999.9 itself",
         MultiRecord().Powered().Altitude(61000).VerticalSpeed(-999.9f),
         Display({6, 1, 0, 0, 0, B, M, 9, 0, 0})},
        {"vertical-speed selector shows the same",
         MultiRecord().Powered().Altitude(4321).VerticalSpeed(2700),
         Display({0, 4, 3, 0, 0, B, 2, 7, 0, 0}), 0x02},
        {"airspeed", MultiRecord().Powered().Airspeed(5).Heading(270),
         Display({B, B, 0, 0, 5, B, B, B, B, B}), 0x04},
        {"heading", MultiRecord().Powered().Airspeed(5).Heading(128.7f),
         Display({B, B, 1, 2, 8, B, B, B, B, B}), 0x08},
        {"course wraps", MultiRecord().Powered().Course(1234).Heading(99),
         Display({B, B, 2, 3, 4, B, B, B, B, B}), 0x10},
        {"lamps, each from its own datum",
         MultiRecord().Powered().Altitude(3000).Word(12, 1).Word(14, 1).Word(17, 1).Word(16, 1),
         Display({0, 3, 0, 0, 0, B, B, 0, 0, 0}, 0x95)},
        {"the other lamps",
         MultiRecord().Powered().Word(13, 1).Word(19, 1).Word(18, 1).Word(15, 1),
         Display({0, 0, 0, 0, 0, B, B, 0, 0, 0}, 0x6A)},
        {"avionics on, no battery or alternator",
         MultiRecord().Word(0, 1).Altitude(3000).Word(12, 1), Display({B, B, B, B, B, B, B, B, B, B})},
        {"alternator 4 alone powers it", MultiRecord().Word(0, 1).Word(5, 1).Altitude(3000),
         Display({0, 3, 0, 0, 0, B, B, 0, 0, 0})},
        {"partial panel electrical", MultiRecord().Powered().Altitude(3000).Word(12, 1).Word(20, 1),
         Display({B, B, B, B, B, B, B, B, B, B})},
        {"partial panel avionics on airspeed",
         MultiRecord().Powered().Airspeed(120).Word(19, 1).Word(21, 2),
         Display({B, B, B, B, B, B, B, B, B, B}), 0x04},
    };
    for (const Row& row : rows) {
        CPanelClass_Autopilot panel;
        Initialize(panel);
        Report feature(13, 0);
        feature[1] = row.selector;
        Attach(kPath, 0x0A21, feature);
        panel.OpenDevice(kPath.c_str());
        ASSERT_EQ(panel.DeviceCount(), 1u) << row.what;
        // Attached before any data: blank displays, dark lamps.
        EXPECT_EQ(Written(), std::vector<Report>{Display({B, B, B, B, B, B, B, B, B, B})})
            << row.what;
        Data(panel, row.record);
        const Report blank = Display({B, B, B, B, B, B, B, B, B, B});
        // A display that stays blank is not written again.
        EXPECT_EQ(Written(), row.shown == blank ? std::vector<Report>{}
                                                : std::vector<Report>{row.shown})
            << row.what;
        // The same record again writes nothing.
        Data(panel, row.record);
        EXPECT_TRUE(Written().empty()) << row.what;
        panel.CloseAllDevices();
        EXPECT_EQ(Written(), std::vector<Report>{Display({15, 15, 15, 15, 15, 15, 15, 15, 15, 15})})
            << row.what;
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

    panel.OpenDevice(kPath.c_str());      // found at start
    panel.OpenDevice(upper.c_str());      // and announced again on arrival
    panel.OpenDevice(radio.c_str());      // not this panel's product
    panel.OpenDevice(L"\\\\?\\hid#nothing");
    EXPECT_EQ(panel.DeviceCount(), 1u);
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 2);  // its own and the reader's
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(radio), 0);
    EXPECT_EQ(Written().size(), 1u);

    panel.CloseDevice(radio.c_str());  // not open: nothing happens
    EXPECT_EQ(panel.DeviceCount(), 1u);
    panel.CloseDevice(upper.c_str());
    EXPECT_EQ(panel.DeviceCount(), 0u);
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 0);
    EXPECT_EQ(Written(), std::vector<Report>{Display({15, 15, 15, 15, 15, 15, 15, 15, 15, 15})});

    // Unplugged in flight: the pending read fails, the reader waits for its
    // stop, and the removal closes everything. The same path plugged in again
    // opens afresh.
    panel.OpenDevice(kPath.c_str());
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
    av::platform::VirtualHidUnplug(kPath);
    panel.CloseDevice(kPath.c_str());
    EXPECT_EQ(panel.DeviceCount(), 0u);
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 0);
    Attach(kPath);
    panel.OpenDevice(kPath.c_str());
    EXPECT_EQ(panel.DeviceCount(), 1u);
    Data(panel, MultiRecord().Powered().Altitude(2500));
    Written();
    Feed({In(0x21)});
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"AP_ALT_VAR_INC"});
    panel.CloseAllDevices();
    EXPECT_EQ(av::platform::VirtualHidOpenHandles(kPath), 0);

    // The serial number fills at most 126 units with its terminator.
    for (std::size_t length : {0u, 7u, 125u, 126u}) {
        av::platform::VirtualHidUnit unit;
        unit.path = L"\\\\?\\hid#serial" + std::to_wstring(length);
        unit.vendorId = 0x2B71;
        unit.productId = 0x0A21;
        unit.inputReportLength = 4;
        for (std::size_t i = 0; i < length; ++i) unit.serial += static_cast<wchar_t>(L'A' + i % 26);
        av::platform::VirtualHidAttach(unit);
        CHidPanelDevice device;
        ASSERT_TRUE(device.Open(unit.path, &panel));
        EXPECT_FALSE(device.Open(unit.path, &panel));  // it has its panel
        EXPECT_EQ(device.GetSerialNumber(), length < 126 ? unit.serial : std::wstring()) << length;
        device.Close();
        EXPECT_EQ(av::platform::VirtualHidOpenHandles(unit.path), 0);
    }
}

// Each row: the record, then reports one after the other (the first compared
// with all zero), the events they send and the selector they leave.
TEST_F(PanelTest, InputBecomesEvents) {
    const MultiRecord on = MultiRecord().Powered().Altitude(8000).Heading(90);
    struct Row {
        const char* what;
        MultiRecord record;
        std::vector<Report> reports;
        std::vector<std::string> events;
    };
    const std::vector<Row> rows = {
        {"knob both ways on altitude", on, {In(0x21), In(0x01), In(0x41), In(0x01), In(0x61)},
         {"AP_ALT_VAR_INC", "AP_ALT_VAR_DEC", "AP_ALT_VAR_INC", "AP_ALT_VAR_DEC"}},
        {"a bit set at open counts as pressed", on, {In(0x01, 0x01)}, {"AP_PANEL_HEADING_HOLD"}},
        {"selector to heading with the knob in one report", on, {In(0x01), In(0x28)},
         {"HEADING_BUG_INC"}},
        {"each selector position", on,
         {In(0x22), In(0x02), In(0x44), In(0x04), In(0x28), In(0x08), In(0x50), In(0x10)},
         {"AP_VS_VAR_INC", "AP_SPD_VAR_DEC", "HEADING_BUG_INC", "VOR1_OBI_DEC"}},
        {"two selector bits at once leave it", on, {In(0x08), In(0x08 | 0x03), In(0x4B)},
         {"HEADING_BUG_DEC"}},
        {"a held button sends once", on,
         {In(0x01, 0x02), In(0x01, 0x02), In(0x01, 0x02), In(0x01), In(0x01, 0x02)},
         {"AP_NAV1_HOLD", "AP_NAV1_HOLD"}},
        {"master and every mode button in bit order", on, {In(0x81, 0x7F)},
         {"AP_MASTER", "AP_PANEL_HEADING_HOLD", "AP_NAV1_HOLD", "AP_PANEL_SPEED_HOLD",
          "AP_PANEL_ALTITUDE_HOLD", "AP_VS_HOLD", "AP_APR_HOLD", "AP_BC_HOLD"}},
        {"flaps and trim", on, {In(0x01, 0, 0x01), In(0x01, 0, 0x02), In(0x01, 0, 0x0C)},
         {"FLAPS_DECR", "FLAPS_INCR", "ELEV_TRIM_DN", "ELEV_TRIM_UP"}},
        {"events of one report go in step order", on, {In(0xA1, 0x81, 0x01)},
         {"AP_ALT_VAR_INC", "AP_MASTER", "AP_PANEL_HEADING_HOLD", "AUTO_THROTTLE_ARM", "FLAPS_DECR"}},
        {"auto-throttle on while armed", MultiRecord(on).Word(11, 1), {In(0x01, 0x80)}, {}},
        {"auto-throttle on, then off, while not armed", on, {In(0x01, 0x80), In(0x01)},
         {"AUTO_THROTTLE_ARM"}},
        {"auto-throttle off while armed", MultiRecord(on).Word(11, 1), {In(0x01, 0x80), In(0x01)},
         {"AUTO_THROTTLE_ARM"}},
        {"no power: only auto-throttle, flaps and trim", MultiRecord(on).Word(0, 0),
         {In(0xA1, 0xFF, 0x0A)}, {"AUTO_THROTTLE_ARM", "FLAPS_INCR", "ELEV_TRIM_UP"}},
        {"partial panel: the same", MultiRecord(on).Word(21, 1), {In(0xE1, 0x7F, 0x04)},
         {"ELEV_TRIM_DN"}},
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
    // Another request's block, and one block short of the record: neither is ours.
    const MultiRecord first = MultiRecord().Powered().Altitude(4500).Airspeed(140).Heading(45).Word(19, 1);
    panel.OnSimObjectData(panel.DefinitionId() + 1, first.words.data(), 88);
    panel.OnSimObjectData(panel.DefinitionId(), first.words.data(), 87);
    EXPECT_EQ(Written().size(), 1u);  // the attach report only
    Data(panel, first);
    EXPECT_EQ(Written(), std::vector<Report>{Display({0, 4, 5, 0, 0, B, B, 0, 0, 0}, 0x08)});
    // Airspeed changes while altitude is shown: nothing to write. The heading
    // selector shows the heading; a knob step leaves the display as it is.
    Data(panel, MultiRecord().Powered().Altitude(4500).Airspeed(150).Heading(45).Word(19, 1));
    EXPECT_TRUE(Written().empty());
    Feed({In(0x01), In(0x08), In(0x28), In(0x08)});
    EXPECT_EQ(Written(), std::vector<Report>{Display({B, B, 0, 4, 5, B, B, B, B, B}, 0x08)});
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"HEADING_BUG_INC"});
    // Altitude and vertical speed show the same digits; the turn to the other
    // is written all the same, and resting on it is not.
    Feed({In(0x01), In(0x02), In(0x02)});
    const Report altitude = Display({0, 4, 5, 0, 0, B, B, 0, 0, 0}, 0x08);
    EXPECT_EQ(Written(), (std::vector<Report>{altitude, altitude}));
    panel.CloseAllDevices();
}

// How events leave: through the panel's own group up to id 20, by priority
// above it; never when unmapped or switched off in the registry.
TEST_F(PanelTest, TransmitRules) {
    const MultiRecord on = MultiRecord().Powered().Altitude(1000);
    struct Row {
        std::uint32_t group;
        bool masterUnmapped;  // "AP_MASTER" cannot be mapped; the events after it still are
        std::uint32_t sentGroup, flags;
        std::vector<std::string> events;
    };
    const Row rows[] = {
        {20, false, 20, 0, {"AP_MASTER", "AP_PANEL_HEADING_HOLD"}},
        {21, false, 1, 0x10, {"AP_MASTER", "AP_PANEL_HEADING_HOLD"}},
        {7, true, 7, 0, {"AP_PANEL_HEADING_HOLD"}},
    };
    Attach(kPath);
    for (const Row& row : rows) {
        CPanelClass_Autopilot panel;
        if (row.masterUnmapped) {
            const std::uint32_t master = CSimConnectLibrary::Instance().NextEventId() + 11;
            standin::SimStandIn::Instance().FailCallsStartingWith(
                "SimConnect_MapClientEventToSimEvent id=" + std::to_string(master) + " ");
        }
        Initialize(panel, row.group);
        panel.OpenDevice(kPath.c_str());
        Data(panel, on);
        Feed({In(0x81, 0x01)});
        EXPECT_EQ(TakeEvents(row.sentGroup, row.flags), row.events) << row.group;
        panel.CloseAllDevices();
    }
    const std::wstring key = L"SOFTWARE\\Orlend\\VelPanels\\NoTransmit";
    for (std::uint32_t value : {0u, 2u, 0x100u, 1u}) {
        ASSERT_TRUE(av::platform::WriteRegistryDword(av::platform::RegistryRoot::LocalMachine, key,
                                                     L"", value));
        CPanelClass_Autopilot panel;
        EXPECT_EQ(panel.Transmits(), value != 1) << value;
        Initialize(panel);
        panel.OpenDevice(kPath.c_str());
        Written();
        Data(panel, on);
        Feed({In(0x21, 0x80, 0x01)});
        const std::vector<std::string> all = {"AP_ALT_VAR_INC", "AUTO_THROTTLE_ARM", "FLAPS_DECR"};
        EXPECT_EQ(TakeEvents(), value == 1 ? std::vector<std::string>{} : all) << value;
        // The display follows the simulator either way.
        EXPECT_EQ(Written(), std::vector<Report>{Display({0, 1, 0, 0, 0, B, B, 0, 0, 0})}) << value;
        panel.CloseAllDevices();
        Written();
    }
    ASSERT_TRUE(av::platform::WriteRegistryString(av::platform::RegistryRoot::LocalMachine, key,
                                                  L"", L"1"));
    EXPECT_TRUE(CPanelClass_Autopilot().Transmits());
}

// The reader's reports and the simulator's records at the same time: every
// knob step becomes exactly one event, and the unit ends up showing the last
// record.
TEST_F(PanelTest, InputAndDataFromTwoThreads) {
    CPanelClass_Autopilot panel;
    Initialize(panel);
    Attach(kPath);
    panel.OpenDevice(kPath.c_str());
    Data(panel, MultiRecord().Powered());
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
    constexpr int kSteps = 200;
    std::thread knob([&] {
        for (int i = 0; i < kSteps; ++i) {
            av::platform::VirtualHidFeed(kPath, In(0x21));
            av::platform::VirtualHidFeed(kPath, In(0x01));
        }
    });
    for (int alt = 100; alt <= 40000; alt += 100) {
        Data(panel, MultiRecord().Powered().Altitude(static_cast<float>(alt)).Word(17, alt % 200 == 0));
        CClientEventQueue::Instance().Flush();
    }
    knob.join();
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
    CClientEventQueue::Instance().Flush();
    const std::vector<std::string> events = TakeEvents();
    EXPECT_EQ(events.size(), static_cast<std::size_t>(kSteps));
    EXPECT_EQ(std::count(events.begin(), events.end(), "AP_ALT_VAR_INC"), kSteps);
    const std::vector<Report> written = Written();
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back(), Display({4, 0, 0, 0, 0, B, B, 0, 0, 0}, 0x10));
    panel.CloseAllDevices();
}

// A reader that the driver does not let go of is left behind after the
// time-out: the unit is still detached and closed, and what the reader sees
// afterwards reaches nothing (the device it came from is gone).
TEST_F(PanelTest, AReaderStuckInTheDriverIsLeftBehind) {
    CHidPanelDevice::SetReaderStopTimeout(200);
    {
        CPanelClass_Autopilot panel;
        Initialize(panel);
        Attach(kPath);
        panel.OpenDevice(kPath.c_str());
        Data(panel, MultiRecord().Powered().Altitude(2500));
        ASSERT_TRUE(av::platform::VirtualHidWaitIdle(kPath));
        Written();
        av::platform::VirtualHidHoldReads(kPath, true);
        const auto start = std::chrono::steady_clock::now();
        panel.CloseDevice(kPath.c_str());
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(200));
        EXPECT_LT(waited, std::chrono::milliseconds(5000));
        EXPECT_EQ(panel.DeviceCount(), 0u);
        EXPECT_EQ(Written(), std::vector<Report>{Display({15, 15, 15, 15, 15, 15, 15, 15, 15, 15})});
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
