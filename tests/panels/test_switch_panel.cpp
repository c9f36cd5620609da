// The switch panel through a simulated unit: what it defines and maps, the
// toggles its switches send against the simulator's state, the magneto
// rotary and gear lever, and the gear lamps.
#include "plugins/aviaro/panels/panel_switch.h"
#include "tests/panels/panel_test_support.h"

namespace {

const std::wstring kSwitch =
    L"\\\\?\\hid#vid_2b71&pid_0a23#7&33bb44&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

using Switches = Words<27>;

Report In(std::uint8_t b1, std::uint8_t b2 = 0, std::uint8_t b3 = 0) { return {0, b1, b2, b3}; }
Report Lamps(std::uint8_t bits) { return {0, bits}; }

class SwitchPanelTest : public AnyPanelTest {
protected:
    void Open(CPanelClass_Switch& panel) {
        Attach(kSwitch, CPanelClass_Switch::kProductId, Report(2, 0));
        panel.OpenDevice(kSwitch.c_str());
        ASSERT_EQ(panel.DeviceCount(), 1u);
        EXPECT_EQ(Written(kSwitch), std::vector<Report>{Lamps(0)});
    }
};

}  // namespace

TEST_F(SwitchPanelTest, DefinesTheRecordAndMapsTheEventsInOrder) {
    CPanelClass_Switch panel;
    InitializePanel(panel, 21);
    const std::string d = "SimConnect_AddToDataDefinition define=" +
                          std::to_string(panel.DefinitionId()) + " datum=";
    ASSERT_EQ(initCalls_.size(), 27u + 2u * 28u + 1u);
    EXPECT_EQ(initCalls_[0], d + "\"ELECTRICAL MASTER BATTERY\" units=\"Bool\" type=1 epsilon=0 datumId=0 -> 00000000");
    EXPECT_EQ(initCalls_[9], d + "\"GENERAL ENG FUEL PUMP SWITCH:4\" units=\"Bool\" type=1 epsilon=0 datumId=9 -> 00000000");
    EXPECT_EQ(initCalls_[26], d + "\"GEAR RIGHT POSITION\" units=\"Percent Over 100\" type=3 epsilon=0 datumId=26 -> 00000000");
    std::vector<std::string> names;
    for (const auto& [id, name] : ids_) names.push_back(name);
    ASSERT_EQ(names.size(), 28u);
    EXPECT_EQ(names[0], "GEAR_UP");
    EXPECT_EQ(names[12], "ANTI_ICE_SET");
    EXPECT_EQ(names[17], "COWLFLAP4_SET");
    EXPECT_EQ(names[23], "LANDING_LIGHTS_TOGGLE");
    EXPECT_EQ(names[27], "MAGNETO4_SET");
    EXPECT_EQ(initCalls_.back(), "SimConnect_SetNotificationGroupPriority group=21 priority=1 -> 00000000");
}

// Each row: the simulator's state, the reports the unit sends (each compared
// with the one before, the first with all zero), the events with their data.
TEST_F(SwitchPanelTest, SwitchesBringTheSimulatorInLine) {
    struct Row {
        const char* what;
        Switches sim;
        std::vector<Report> reports;
        std::vector<std::string> events;
    };
    const std::vector<Row> rows = {
        {"battery on, already on", Switches().Word(0, 1), {In(0x01)}, {}},
        {"battery on while off, then off while off", Switches(), {In(0x01), In(0)},
         {"TOGGLE_MASTER_BATTERY=0"}},
        {"alternators 1 and 3 on", Switches().Word(1, 1).Word(3, 1), {In(0x02)},
         {"TOGGLE_ALTERNATOR2=0", "TOGGLE_ALTERNATOR4=0"}},
        {"alternator switch off with 2 and 3 on", Switches().Word(2, 1).Word(3, 1),
         {In(0x02), In(0)}, {"TOGGLE_ALTERNATOR1=0", "TOGGLE_ALTERNATOR4=0",
                             "TOGGLE_ALTERNATOR2=0", "TOGGLE_ALTERNATOR3=0"}},
        {"fuel pumps with pump 4 on, avionics on", Switches().Word(9, 1).Word(5, 1),
         {In(0x0C)}, {"TOGGLE_ELECT_FUEL_PUMP1=0", "TOGGLE_ELECT_FUEL_PUMP2=0",
                      "TOGGLE_ELECT_FUEL_PUMP3=0"}},
        {"de-ice on and off, set whatever the simulator says", Switches().Word(10, 1),
         {In(0x10), In(0)}, {"ANTI_ICE_SET=1", "ANTI_ICE_SET=0"}},
        {"pitot heat and cowl flaps on, then off (pitot already off)", Switches().Float(12, 40.0f),
         {In(0x60), In(0)},
         {"PITOT_HEAT_TOGGLE=0", "COWLFLAP1_SET=0", "COWLFLAP2_SET=0", "COWLFLAP3_SET=0",
          "COWLFLAP4_SET=0", "COWLFLAP1_SET=16383", "COWLFLAP2_SET=16383",
          "COWLFLAP3_SET=16383", "COWLFLAP4_SET=16383"}},
        {"lights: panel, beacon and landing on; strobe off while on",
         Switches().Word(17, 1).Word(19, 1).Word(21, 0),
         {In(0x80, 0x1F), In(0x80, 0x1B)},
         {"PANEL_LIGHTS_TOGGLE=0", "TOGGLE_NAV_LIGHTS=0", "TOGGLE_TAXI_LIGHTS=0",
          "LANDING_LIGHTS_TOGGLE=0", "STROBES_TOGGLE=0"}},
        {"magneto 2 to 4 and back, between detents nothing", Switches(),
         {In(0, 0x40), In(0, 0, 0x01), In(0), In(0, 0x40)},
         {"MAGNETO1_SET=1", "MAGNETO2_SET=1", "MAGNETO3_SET=1", "MAGNETO4_SET=1",
          "MAGNETO1_SET=3", "MAGNETO2_SET=3", "MAGNETO3_SET=3", "MAGNETO4_SET=3",
          "MAGNETO1_SET=1", "MAGNETO2_SET=1", "MAGNETO3_SET=1", "MAGNETO4_SET=1"}},
        {"magneto 1 and 5 (data 0 and 4)", Switches(), {In(0, 0x20), In(0, 0, 0x02)},
         {"MAGNETO1_SET=0", "MAGNETO2_SET=0", "MAGNETO3_SET=0", "MAGNETO4_SET=0",
          "MAGNETO1_SET=4", "MAGNETO2_SET=4", "MAGNETO3_SET=4", "MAGNETO4_SET=4"}},
        {"gear up and down bits together, then down alone", Switches(),
         {In(0, 0, 0x0C), In(0, 0, 0x08), In(0), In(0, 0, 0x08)}, {"GEAR_UP=0", "GEAR_DOWN=0"}},
        {"a report shorter than 4 bytes is ignored", Switches(), {{0, 0x01, 0x00}}, {}},
    };
    for (const Row& row : rows) {
        CPanelClass_Switch panel;
        InitializePanel(panel);
        Open(panel);
        SendData(panel, row.sim);
        Written(kSwitch);
        Feed(row.reports, kSwitch);
        EXPECT_EQ(TakeEventsWithData(), row.events) << row.what;
        // Input never writes the lamps.
        EXPECT_TRUE(Written(kSwitch).empty()) << row.what;
        panel.CloseAllDevices();
        EXPECT_EQ(Written(kSwitch), std::vector<Report>{Lamps(0)}) << row.what;
        av::platform::VirtualHidClearUnits();
    }
}

TEST_F(SwitchPanelTest, GearLampsFollowTheGear) {
    struct Row {
        const char* what;
        Switches sim;
        std::uint8_t lamps;
    };
    const std::vector<Row> rows = {
        {"nose locked, left in transit, right up",
         Switches().Word(0, 1).Word(23, 1).Float(24, 0.995f).Float(25, 0.5f), 0x11},
        {"all down on alternator 4", Switches().Word(4, 1).Word(23, 1).Float(24, 1.0f).Float(25, 1.0f).Float(26, 1.0f), 0x07},
        {"the single-precision limits", Switches().Word(0, 1).Word(23, 1).Float(24, 0.99f).Float(25, 0.01f).Float(26, 0.0099f), 0x18},
        {"right locked, nose just up", Switches().Word(2, 1).Word(23, 1).Float(24, 0.009f).Float(26, 0.991f), 0x04},
        {"fixed gear", Switches().Word(0, 1).Float(24, 1.0f).Float(25, 1.0f).Float(26, 1.0f), 0},
        {"no battery or alternator, avionics on",
         Switches().Word(5, 1).Word(23, 1).Float(24, 1.0f).Float(25, 1.0f).Float(26, 1.0f), 0},
    };
    for (const Row& row : rows) {
        CPanelClass_Switch panel;
        InitializePanel(panel);
        Open(panel);
        SendData(panel, row.sim);
        EXPECT_EQ(Written(kSwitch), std::vector<Report>{Lamps(row.lamps)}) << row.what;
        // A change that the lamps do not show (the cowl flaps) still writes
        // them; the same record again writes nothing.
        Switches moved = row.sim;
        moved.Float(13, 25.0f);
        SendData(panel, moved);
        SendData(panel, moved);
        EXPECT_EQ(Written(kSwitch), std::vector<Report>{Lamps(row.lamps)}) << row.what;
        panel.CloseAllDevices();
        av::platform::VirtualHidClearUnits();
    }
}
