// The radio panel through simulated units: what it defines and maps, the
// digits it shows per radio, the knob filters on an injected clock, and the
// events each row sends.
#include <atomic>

#include "plugins/aviaro/panels/panel_radios.h"
#include "tests/panels/panel_test_support.h"

namespace {

constexpr std::uint8_t B = 0xFF;  // blank
const std::wstring kRadio =
    L"\\\\?\\hid#vid_2b71&pid_0a22#7&11aa22&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

std::atomic<std::uint32_t> g_now{0};
std::uint32_t TestClock() { return g_now.load(); }

using Radio = Words<27>;

Radio Powered() { return Radio().Word(0, 1).Word(2, 1); }

// A display report: the upper left, upper right, lower left, lower right.
Report Shown(std::array<std::uint8_t, 20> digits) {
    Report r(23, 0);
    for (std::size_t i = 0; i < 20; ++i) r[1 + i] = digits[i];
    return r;
}

// Input bytes 1-3.
Report In(std::uint8_t b1, std::uint8_t b2 = 0, std::uint8_t b3 = 0) { return {0, b1, b2, b3}; }

// Every radio's value, each telling its digits apart.
Radio Tuned() {
    return Powered()
        .Word(6, 0x2345)   // COM1 123.45
        .Word(7, 0x1890)   // COM1 standby 118.90
        .Word(8, 0x3275)   // COM2 132.75
        .Word(9, 0x2160)   // COM2 standby 121.60
        .Word(10, 0x1030)  // NAV1 110.30
        .Word(11, 0x1785)  // NAV1 standby 117.85
        .Word(12, 0x0960)  // NAV2 109.60
        .Word(13, 0x1145)  // NAV2 standby 111.45
        .Word(14, 0x12345678)  // ADF 1234.5, the low three nibbles not shown
        .Word(15, 0x03441000)
        .Word(16, 0x7612)
        .Float(17, 12.36f)
        .Float(18, 245.7f);
}

class RadioPanelTest : public AnyPanelTest {
protected:
    void SetUp() override {
        AnyPanelTest::SetUp();
        g_now = 100000;
    }
    // A unit with its selectors as the feature report gives them.
    void Open(CPanelClass_Radios& panel, std::uint8_t byte1, std::uint8_t byte2) {
        Report feature(23, 0);
        feature[1] = byte1;
        feature[2] = byte2;
        Attach(kRadio, CPanelClass_Radios::kProductId, feature);
        panel.OpenDevice(kRadio.c_str());
        ASSERT_EQ(panel.DeviceCount(), 1u);
    }
    // Presses (the bits), then lets go, each 1000 ms apart unless a time is given.
    void Press(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint32_t at = 0) {
        g_now = at != 0 ? at : g_now + 1000;
        Feed({In(b1, b2, b3), In(0)}, kRadio);
    }
};

}  // namespace

TEST_F(RadioPanelTest, DefinesTheRecordAndMapsTheEventsInOrder) {
    CPanelClass_Radios panel;
    InitializePanel(panel, 9);
    const std::string d = "SimConnect_AddToDataDefinition define=" +
                          std::to_string(panel.DefinitionId()) + " datum=";
    ASSERT_EQ(initCalls_.size(), 27u + 2u * 33u + 1u);
    EXPECT_EQ(initCalls_[14], d + "\"adf active frequency:1\" units=\"Frequency ADF BCD32\" type=1 epsilon=0 datumId=14 -> 00000000");
    EXPECT_EQ(initCalls_[17], d + "\"nav dme:1\" units=\"nmiles\" type=3 epsilon=0 datumId=17 -> 00000000");
    EXPECT_EQ(initCalls_[26], d + "\"PARTIAL PANEL AVIONICS\" units=\"ENUM\" type=1 epsilon=0 datumId=26 -> 00000000");
    std::vector<std::string> names;
    for (const auto& [id, name] : ids_) names.push_back(name);
    ASSERT_EQ(names.size(), 33u);
    EXPECT_EQ(names[4], "COM_STBY_RADIO_SWAP");
    EXPECT_EQ(names[9], "COM2_RADIO_SWAP");
    EXPECT_EQ(names[19], "NAV2_RADIO_SWAP");
    EXPECT_EQ(names[20], "XPNDR_1000_INC");
    EXPECT_EQ(names[27], "XPNDR_1_DEC");
    EXPECT_EQ(names[30], "ADF1_RADIO_TENTHS_INC");
    EXPECT_EQ(names[32], "ADF1_RADIO_SWAP");
    EXPECT_EQ(initCalls_[27 + 2 * 32 + 1],
              "SimConnect_AddClientEventToNotificationGroup group=9 id=" +
                  std::to_string(ids_.rbegin()->first) + " maskable=0 -> 00000000");
    EXPECT_EQ(initCalls_.back(), "SimConnect_SetNotificationGroupPriority group=9 priority=1 -> 00000000");
}

// Each row: the selectors from the feature report, the record, what shows.
TEST_F(RadioPanelTest, RowsShowTheirRadios) {
    struct Row {
        const char* what;
        std::uint8_t byte1, byte2;
        Radio record;
        Report shown;
    };
    const std::uint8_t P = 0xD0;
    const std::vector<Row> rows = {
        {"COM1 over COM2", 0x01, 0x01, Tuned(),
         Shown({1, 2, P | 3, 4, 5, 1, 1, P | 8, 9, 0, 1, 3, P | 2, 7, 5, 1, 2, P | 1, 6, 0})},
        {"NAV1 over NAV2", 0x04, 0x04, Tuned(),
         Shown({1, 1, P | 0, 3, 0, 1, 1, P | 7, 8, 5, 1, 0, P | 9, 6, 0, 1, 1, P | 1, 4, 5})},
        {"ADF over the transponder", 0x10, 0x20, Tuned(),
         Shown({B, B, B, B, B, 1, 2, 3, P | 4, 5, B, B, B, B, B, B, 7, 6, 1, 2})},
        {"DME over COM1 (lower position 0 from byte 1 bit 7)", 0x20 | 0x80, 0x00, Tuned(),
         Shown({B, 0, 1, P | 2, 3, B, 2, 4, P | 5, 7, 1, 2, P | 3, 4, 5, 1, 1, P | 8, 9, 0})},
        {"DME left and the transponder blanked by their word", 0x20, 0x20, Tuned().Word(25, 1),
         Shown({B, B, B, B, B, B, 2, 4, P | 5, 7, B, B, B, B, B, B, B, B, B, B})},
        {"DME right blanked by its own word", 0x20, 0x00, Tuned().Word(26, 1),
         Shown({B, 0, 1, P | 2, 3, B, B, B, B, B, 1, 3, P | 2, 7, 5, 1, 2, P | 1, 6, 0})},
        {"failed COM2 blanks; nothing decodes, both rows on COM2", 0x03, 0x00, Tuned().Word(21, 1),
         Shown({B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B})},
        {"failed NAV2 and ADF", 0x08, 0x08, Tuned().Word(23, 1).Word(24, 2),
         Shown({B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B})},
        {"failed NAV1 leaves NAV2", 0x04, 0x04, Tuned().Word(22, 1),
         Shown({B, B, B, B, B, B, B, B, B, B, 1, 0, P | 9, 6, 0, 1, 1, P | 1, 4, 5})},
        {"unpowered: avionics on, no battery or alternator", 0x01, 0x01, Tuned().Word(2, 0),
         Shown({B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B})},
    };
    const Report dark = Shown({B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B});
    for (const Row& row : rows) {
        CPanelClass_Radios panel;
        InitializePanel(panel);
        Open(panel, row.byte1, row.byte2);
        EXPECT_EQ(Written(kRadio), std::vector<Report>{dark}) << row.what;
        SendData(panel, row.record);
        EXPECT_EQ(Written(kRadio), row.shown == dark ? std::vector<Report>{}
                                                     : std::vector<Report>{row.shown})
            << row.what;
        SendData(panel, row.record);
        EXPECT_TRUE(Written(kRadio).empty()) << row.what;
        panel.CloseAllDevices();
        Report detached(23, B);
        detached[0] = 0;
        EXPECT_EQ(Written(kRadio), std::vector<Report>{detached}) << row.what;
        av::platform::VirtualHidClearUnits();
    }
}

TEST_F(RadioPanelTest, KnobFiltersDropRepeatsAndReversals) {
    CPanelClass_Radios panel;
    panel.SetClock(TestClock);
    InitializePanel(panel);
    Open(panel, 0x01, 0x01);  // COM1 over COM2
    SendData(panel, Tuned());
    Written(kRadio);

    const std::uint32_t t = 200000;
    // Upper fraction knob: a repeat 50 ms on is dropped, the third is taken,
    // a reversal 80 ms on is dropped.
    Press(0, 0, 0x01, t);
    Press(0, 0, 0x01, t + 50);
    Press(0, 0, 0x01, t + 100);
    Press(0, 0, 0x02, t + 180);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"COM_RADIO_FRACT_INC", "COM_RADIO_FRACT_INC"}));
    // Lower fraction knob, a filter of its own: a reversal 120 ms on is taken.
    Press(0, 0, 0x10, t + 190);
    Press(0, 0, 0x20, t + 310);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"COM2_RADIO_FRACT_INC", "COM2_RADIO_FRACT_DEC"}));
    // Both rows in one report bypass the filters, which would have dropped
    // both (reversals 10 ms on).
    Press(0, 0, 0x11, t + 320);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"COM_RADIO_FRACT_INC", "COM2_RADIO_FRACT_INC"}));

    // The filter itself, with the tick count wrapping: 40 ms across zero is
    // still a repeat.
    CPanelClass_Radios::KnobFilter f;
    EXPECT_TRUE(CPanelClass_Radios::Accept(f, 4, 0xFFFFFFF0u));
    EXPECT_FALSE(CPanelClass_Radios::Accept(f, 4, 0x18u));
    EXPECT_TRUE(CPanelClass_Radios::Accept(f, 4, 0x30u));
    EXPECT_TRUE(CPanelClass_Radios::Accept(f, 4, 0x30u + 150));
    EXPECT_FALSE(CPanelClass_Radios::Accept(f, 8, 0x30u + 150 + 99));
}

TEST_F(RadioPanelTest, RowsTuneTheirRadios) {
    CPanelClass_Radios panel;
    panel.SetClock(TestClock);
    InitializePanel(panel);
    Open(panel, 0x40, 0x20);  // transponder on both rows
    SendData(panel, Tuned());
    Written(kRadio);

    // Upper row: tens and ones first; the swap button picks thousands and
    // hundreds. The lower row keeps its own pair.
    Press(0, 0, 0x01);
    Press(0, 0x40, 0);
    Press(0, 0, 0x01);
    Press(0, 0, 0x04);
    Press(0, 0, 0x08);
    Press(0, 0, 0x40);
    Press(0, 0, 0x20);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"XPNDR_1_INC", "XPNDR_100_INC",
                                                      "XPNDR_1000_INC", "XPNDR_1000_DEC",
                                                      "XPNDR_10_INC", "XPNDR_1_DEC"}));
    // Unpowered: no event, but the pair still toggles (back to tens/ones).
    SendData(panel, Tuned().Word(0, 0));
    Press(0, 0x40, 0);
    Press(0, 0, 0x01);
    EXPECT_TRUE(TakeEvents().empty());
    SendData(panel, Tuned());
    Press(0, 0, 0x02);
    // A failed transponder (its input word is datum 26) sends nothing.
    SendData(panel, Tuned().Word(26, 1));
    Press(0, 0, 0x01);
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"XPNDR_1_DEC"});

    // Upper row to ADF, lower to COM1, in one report; the display follows.
    SendData(panel, Tuned());
    Written(kRadio);
    Press(0x10 | 0x80, 0, 0);
    const std::uint8_t P = 0xD0;
    EXPECT_EQ(Written(kRadio),
              std::vector<Report>{Shown({B, B, B, B, B, 1, 2, 3, P | 4, 5, 1, 2, P | 3, 4, 5, 1, 1, P | 8, 9, 0})});
    Press(0, 0x40, 0x04);
    Press(0, 0, 0x02);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"ADF1_RADIO_SWAP", "ADF1_WHOLE_INC",
                                                      "ADF1_RADIO_TENTHS_DEC"}));

    // Both rows on NAV1 tune it, each with its own knobs and swap button.
    Press(0x04, 0x02, 0);
    Press(0, 0xC0, 0x48);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"NAV1_RADIO_SWAP", "NAV1_RADIO_WHOLE_DEC",
                                                      "NAV1_RADIO_SWAP", "NAV1_RADIO_WHOLE_INC"}));
    // A selector press with a swap button in the same report does not move
    // the lower row (still NAV1), and the swap goes to NAV1.
    Press(0, 0x04 | 0x80, 0);
    EXPECT_EQ(TakeEvents(), std::vector<std::string>{"NAV1_RADIO_SWAP"});

    // COM1 failed on the upper row, NAV2 below: only the lower row's events.
    Press(0x01, 0x04, 0);
    SendData(panel, Tuned().Word(20, 1));
    Press(0, 0xC0, 0x11);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"NAV2_RADIO_SWAP", "NAV2_RADIO_FRACT_INC"}));

    // DME: nothing; and a report too short to hold byte 3 is dropped.
    Press(0x20, 0x10, 0);
    Press(0, 0xC0, 0xFF);
    EXPECT_TRUE(TakeEvents().empty());
    Written(kRadio);
    g_now += 1000;
    Feed({{0, 0x01, 0x80}}, kRadio);  // would move the upper row to (failed) COM1
    EXPECT_TRUE(Written(kRadio).empty());
}
