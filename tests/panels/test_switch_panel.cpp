// The switch panel through a simulated unit: the toggles its switches send
// against the simulator's state, the magneto rotary and gear lever, and the
// gear lamps.
#include "plugins/aviaro/panels/panel_switch.h"
#include "tests/panels/panel_fixture.h"

namespace {

const std::wstring kSwitch = L"\\\\?\\hid#vid_2b71&pid_0a23#7&33bb44&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
using Switches = Words<27>;
Report GearLamps(std::uint8_t bits) { return {0, bits}; }

class SwitchPanelTest : public PanelTest {
protected:
    void Open(CPanelClass_Switch& panel) {
        Initialize(panel);
        Attach(kSwitch, CPanelClass_Switch::kProductId, Report(2, 0));
        panel.OpenDevice(kSwitch.c_str());
        ASSERT_EQ(panel.DeviceCount(), 1u);
        EXPECT_EQ(Written(kSwitch), std::vector<Report>{GearLamps(0)});
    }
};

std::vector<std::string> FourTimes(const char* event, const std::string& data) {
    std::vector<std::string> all;
    for (int n = 1; n <= 4; ++n) all.push_back(event + std::to_string(n) + "_SET" + data);
    return all;
}

}  // namespace

// Each row: the simulator's state, the reports the unit sends (the first
// compared with all zero), the events with their data.
TEST_F(SwitchPanelTest, SwitchesBringTheSimulatorInLine) {
    const auto magneto = [](const char* d) { return FourTimes("MAGNETO", d); };
    const auto concat = [](std::vector<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const struct {
        const char* what;
        Switches sim;
        std::vector<Report> reports;
        std::vector<std::string> events;
    } rows[] = {
        {"battery on, already on", Switches().Word(0, 1), {In(0x01)}, {}},
        {"battery on while off, then off while off", Switches(), {In(0x01), In(0)}, {"TOGGLE_MASTER_BATTERY"}},
        {"alternators 1 and 3 on", Switches().Word(1, 1).Word(3, 1), {In(0x02)}, {"TOGGLE_ALTERNATOR2", "TOGGLE_ALTERNATOR4"}},
        {"fuel pump 4 on, avionics on", Switches().Word(9, 1).Word(5, 1), {In(0x0C)},
         {"TOGGLE_ELECT_FUEL_PUMP1", "TOGGLE_ELECT_FUEL_PUMP2", "TOGGLE_ELECT_FUEL_PUMP3"}},
        {"de-ice set whatever the simulator says", Switches().Word(10, 1), {In(0x10), In(0)}, {"ANTI_ICE_SET=1", "ANTI_ICE_SET"}},
        {"pitot heat and cowl flaps", Switches().Float(12, 40.0f), {In(0x60), In(0)},
         concat({{"PITOT_HEAT_TOGGLE"}, FourTimes("COWLFLAP", ""), FourTimes("COWLFLAP", "=16383")})},
        {"lights", Switches().Word(17, 1).Word(19, 1), {In(0x80, 0x1F), In(0x80, 0x1B)},
         {"PANEL_LIGHTS_TOGGLE", "TOGGLE_NAV_LIGHTS", "TOGGLE_TAXI_LIGHTS", "LANDING_LIGHTS_TOGGLE", "STROBES_TOGGLE"}},
        {"magneto 2 to 4 and back, nothing between detents", Switches(),
         {In(0, 0x40), In(0, 0, 0x01), In(0), In(0, 0x40)}, concat({magneto("=1"), magneto("=3"), magneto("=1")})},
        {"magneto 1 and 5", Switches(), {In(0, 0x20), In(0, 0, 0x02)}, concat({magneto(""), magneto("=4")})},
        {"gear up and down bits together, then down alone", Switches(),
         {In(0, 0, 0x0C), In(0, 0, 0x08), In(0), In(0, 0, 0x08)}, {"GEAR_UP", "GEAR_DOWN"}},
        {"a report shorter than 4 bytes", Switches(), {{0, 0x01, 0x00}}, {}},
    };
    for (const auto& row : rows) {
        CPanelClass_Switch panel;
        Open(panel);
        Data(panel, row.sim);
        Written(kSwitch);
        Feed(row.reports, kSwitch);
        EXPECT_EQ(TakeEvents(), row.events) << row.what;
        EXPECT_TRUE(Written(kSwitch).empty()) << row.what;  // input never writes the lamps
        panel.CloseAllDevices();
        av::platform::VirtualHidClearUnits();
    }
}

TEST_F(SwitchPanelTest, GearLampsFollowTheGear) {
    const struct {
        const char* what;
        Switches sim;
        std::uint8_t lamps;
    } rows[] = {
        {"nose locked, left in transit, right up", Switches().Word(0, 1).Word(23, 1).Float(24, 0.995f).Float(25, 0.5f), 0x11},
        {"all down on alternator 4", Switches().Word(4, 1).Word(23, 1).Float(24, 1).Float(25, 1).Float(26, 1), 0x07},
        {"single-precision limits", Switches().Word(0, 1).Word(23, 1).Float(24, 0.99f).Float(25, 0.01f).Float(26, 0.0099f), 0x18},
        {"right locked, nose just up", Switches().Word(2, 1).Word(23, 1).Float(24, 0.009f).Float(26, 0.991f), 0x04},
        {"fixed gear", Switches().Word(0, 1).Float(24, 1).Float(25, 1).Float(26, 1), 0},
        {"avionics alone", Switches().Word(5, 1).Word(23, 1).Float(24, 1).Float(25, 1).Float(26, 1), 0},
    };
    for (const auto& row : rows) {
        CPanelClass_Switch panel;
        Open(panel);
        Data(panel, row.sim);
        // A change the lamps do not show (cowl flaps) still writes them; the
        // same record again does not.
        Data(panel, Switches(row.sim).Float(13, 25.0f));
        Data(panel, Switches(row.sim).Float(13, 25.0f));
        EXPECT_EQ(Written(kSwitch), (std::vector<Report>{GearLamps(row.lamps), GearLamps(row.lamps)})) << row.what;
        panel.CloseAllDevices();
        EXPECT_EQ(Written(kSwitch), std::vector<Report>{GearLamps(0)}) << row.what;
        av::platform::VirtualHidClearUnits();
    }
}
