// The radio panel through simulated units: the digits each row shows, the
// knob filters on an injected clock, and the events each row sends.
#include <atomic>

#include "plugins/aviaro/panels/panel_radios.h"
#include "tests/panels/panel_fixture.h"

namespace {

constexpr std::uint8_t B = 0xFF;  // blank
constexpr std::uint8_t P = 0xD0;  // decimal point
const std::wstring kRadio = L"\\\\?\\hid#vid_2b71&pid_0a22#7&11aa22&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

std::atomic<std::uint32_t> g_now{0};
std::uint32_t TestClock() { return g_now.load(); }

using Radio = Words<27>;

// A display report: the upper left, upper right, lower left, lower right.
Report Shown(std::array<std::uint8_t, 20> digits) {
    Report r(23, 0);
    std::copy(digits.begin(), digits.end(), r.begin() + 1);
    return r;
}
const Report kDark = Shown({B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B});

// Powered, every radio's value telling its digits apart.
Radio Tuned() {
    return Radio().Word(0, 1).Word(2, 1)
        .Word(6, 0x2345).Word(7, 0x1890)    // COM1 123.45, standby 118.90
        .Word(8, 0x3275).Word(9, 0x2160)    // COM2
        .Word(10, 0x1030).Word(11, 0x1785)  // NAV1
        .Word(12, 0x0960).Word(13, 0x1145)  // NAV2
        .Word(14, 0x12345678).Word(15, 0x03441000)  // ADF 1234.5, the low three nibbles not shown
        .Word(16, 0x7612)                   // transponder
        .Float(17, 12.36f).Float(18, 245.7f);  // DME and its speed
}

class RadioPanelTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
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
    // Presses the bits, then lets go, 1000 ms after the last unless a time is given.
    void Press(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint32_t at = 0) {
        g_now = at != 0 ? at : g_now + 1000;
        Feed({In(b1, b2, b3), In(0)}, kRadio);
    }
};

}  // namespace

// Each row: the selectors from the feature report, the record, what shows.
TEST_F(RadioPanelTest, RowsShowTheirRadios) {
    const struct {
        const char* what;
        std::uint8_t byte1, byte2;
        Radio record;
        Report shown;
    } rows[] = {
        {"COM1 over COM2", 0x01, 0x01, Tuned(), Shown({1, 2, P | 3, 4, 5, 1, 1, P | 8, 9, 0, 1, 3, P | 2, 7, 5, 1, 2, P | 1, 6, 0})},
        {"NAV1 over NAV2", 0x04, 0x04, Tuned(), Shown({1, 1, P | 0, 3, 0, 1, 1, P | 7, 8, 5, 1, 0, P | 9, 6, 0, 1, 1, P | 1, 4, 5})},
        {"ADF over the transponder", 0x10, 0x20, Tuned(), Shown({B, B, B, B, B, 1, 2, 3, P | 4, 5, B, B, B, B, B, B, 7, 6, 1, 2})},
        {"DME over COM1 (byte 1 bit 7)", 0xA0, 0x00, Tuned(), Shown({B, 0, 1, P | 2, 3, B, 2, 4, P | 5, 7, 1, 2, P | 3, 4, 5, 1, 1, P | 8, 9, 0})},
        {"DME left and transponder blanked", 0x20, 0x20, Tuned().Word(25, 1), Shown({B, B, B, B, B, B, 2, 4, P | 5, 7, B, B, B, B, B, B, B, B, B, B})},
        {"DME right blanked", 0x20, 0x00, Tuned().Word(26, 1), Shown({B, 0, 1, P | 2, 3, B, B, B, B, B, 1, 3, P | 2, 7, 5, 1, 2, P | 1, 6, 0})},
        {"nothing decodes: COM2, failed", 0x03, 0x00, Tuned().Word(21, 1), kDark},
        {"failed NAV2 and ADF", 0x08, 0x08, Tuned().Word(23, 1).Word(24, 2), kDark},
        {"failed NAV1 leaves NAV2", 0x04, 0x04, Tuned().Word(22, 1), Shown({B, B, B, B, B, B, B, B, B, B, 1, 0, P | 9, 6, 0, 1, 1, P | 1, 4, 5})},
        {"avionics on, no battery or alternator", 0x01, 0x01, Tuned().Word(2, 0), kDark},
    };
    for (const auto& row : rows) {
        CPanelClass_Radios panel;
        Initialize(panel);
        Open(panel, row.byte1, row.byte2);
        Data(panel, row.record);
        Data(panel, row.record);
        std::vector<Report> want = {kDark};
        if (row.shown != kDark) want.push_back(row.shown);
        EXPECT_EQ(Written(kRadio), want) << row.what;
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
    Initialize(panel);
    Open(panel, 0x01, 0x01);  // COM1 over COM2
    Data(panel, Tuned());
    const std::uint32_t t = 200000;
    // Upper fraction knob: a repeat 50 ms on is dropped, the third taken, a
    // reversal 80 ms on dropped.
    Press(0, 0, 0x01, t);
    Press(0, 0, 0x01, t + 50);
    Press(0, 0, 0x01, t + 100);
    Press(0, 0, 0x02, t + 180);
    // Lower fraction knob, a filter of its own: a reversal 120 ms on is taken.
    Press(0, 0, 0x10, t + 190);
    Press(0, 0, 0x20, t + 310);
    // Both rows in one report bypass the filters (reversals 10 ms on).
    Press(0, 0, 0x11, t + 320);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"COM_RADIO_FRACT_INC", "COM_RADIO_FRACT_INC",
                                                      "COM2_RADIO_FRACT_INC", "COM2_RADIO_FRACT_DEC",
                                                      "COM_RADIO_FRACT_INC", "COM2_RADIO_FRACT_INC"}));
    // The tick count wrapping: 40 ms across zero is still a repeat.
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
    Initialize(panel);
    Open(panel, 0x40, 0x20);  // transponder on both rows
    Data(panel, Tuned());
    // Tens and ones first; the swap button picks thousands and hundreds; the
    // lower row keeps its own pair. Unpowered, the pair still toggles.
    Press(0, 0, 0x01);
    Press(0, 0x40, 0);
    Press(0, 0, 0x01);
    Press(0, 0, 0x04);
    Press(0, 0, 0x08);
    Press(0, 0, 0x40);
    Press(0, 0, 0x20);
    Data(panel, Tuned().Word(0, 0));
    Press(0, 0x40, 0);
    Press(0, 0, 0x01);
    Data(panel, Tuned());
    Press(0, 0, 0x02);
    Data(panel, Tuned().Word(26, 1));  // a failed transponder sends nothing
    Press(0, 0, 0x01);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"XPNDR_1_INC", "XPNDR_100_INC", "XPNDR_1000_INC",
                                                      "XPNDR_1000_DEC", "XPNDR_10_INC", "XPNDR_1_DEC",
                                                      "XPNDR_1_DEC"}));

    // Upper row to ADF, lower to COM1, in one report; the display follows.
    Data(panel, Tuned());
    Written(kRadio);
    Press(0x90, 0, 0);
    EXPECT_EQ(Written(kRadio), std::vector<Report>{Shown({B, B, B, B, B, 1, 2, 3, P | 4, 5, 1, 2, P | 3, 4, 5, 1, 1, P | 8, 9, 0})});
    Press(0, 0x40, 0x04);
    Press(0, 0, 0x02);
    // Both rows on NAV1, each with its own knobs and swap button; a selector
    // press with a swap in the same report leaves the lower row on NAV1.
    Press(0x04, 0x02, 0);
    Press(0, 0xC0, 0x48);
    Press(0, 0x84, 0);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"ADF1_RADIO_SWAP", "ADF1_WHOLE_INC", "ADF1_RADIO_TENTHS_DEC",
                                                      "NAV1_RADIO_SWAP", "NAV1_RADIO_WHOLE_DEC", "NAV1_RADIO_SWAP",
                                                      "NAV1_RADIO_WHOLE_INC", "NAV1_RADIO_SWAP"}));
    // A failed COM1 above does not block NAV2 below; DME sends nothing.
    Press(0x01, 0x04, 0);
    Data(panel, Tuned().Word(20, 1));
    Press(0, 0xC0, 0x11);
    Press(0x20, 0x10, 0);
    Press(0, 0xC0, 0xFF);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"NAV2_RADIO_SWAP", "NAV2_RADIO_FRACT_INC"}));
    // A report too short to hold byte 3 is dropped.
    Written(kRadio);
    g_now += 1000;
    Feed({{0, 0x01, 0x80}}, kRadio);  // would move the upper row to (failed) COM1
    EXPECT_TRUE(Written(kRadio).empty());
}
