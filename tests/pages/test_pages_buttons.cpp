// Every row of every button table: the selection a press leaves, the events it
// transmits (with their ids, in the page's group) and whether the page is sent.
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tests/pages/page_fixture.h"

namespace {

constexpr std::uint32_t Sel = lumiray::SoftButton_Select;
constexpr std::uint32_t Up = lumiray::SoftButton_Up;
constexpr std::uint32_t Down = lumiray::SoftButton_Down;

struct Row {
    int from;
    std::uint32_t mask;
    int to;
    std::vector<std::string> events;
    int refreshes = 1;
};

class Buttons : public PageTest {
protected:
    template <typename Page, typename... Args>
    void Check(const std::vector<Row>& rows, Args... args) {
        const std::uint32_t group = 11;
        for (const Row& row : rows) {
            Exposed<Page> page(group, &owner_, args...);
            Initialize(page);
            const auto ids = EventIds(TakeSimCalls());
            page.SetSelection(row.from);
            owner_.refreshes = 0;
            page.OnButtonPress(row.mask);
            std::vector<std::string> expected;
            for (const std::string& e : row.events) {
                ASSERT_EQ(ids.count(e), 1u) << e;
                expected.push_back(TransmitCall(ids.at(e), group));
            }
            const std::string where =
                "from " + std::to_string(row.from) + " mask " + std::to_string(row.mask);
            EXPECT_EQ(page.Selection(), row.to) << where;
            EXPECT_EQ(TakeSimCalls(), expected) << where;
            EXPECT_EQ(owner_.refreshes, row.refreshes) << where;
        }
    }
};

}  // namespace

TEST_F(Buttons, ComPage) {
    Check<CPage_Tarvex_Com>(
        {
            {0, Sel, 0, {"COM_STBY_RADIO_SWAP"}}, {0, Up, 5, {}}, {0, Down, 1, {}},
            {1, Sel, 6, {}}, {1, Up, 0, {}}, {1, Down, 2, {}},
            {2, Sel, 7, {}}, {2, Up, 1, {}}, {2, Down, 3, {}},
            {3, Sel, 3, {"NAV1_RADIO_SWAP"}}, {3, Up, 2, {}}, {3, Down, 4, {}},
            {4, Sel, 8, {}}, {4, Up, 3, {}}, {4, Down, 5, {}},
            {5, Sel, 9, {}}, {5, Up, 4, {}}, {5, Down, 0, {}},
            {6, Sel, 1, {}}, {6, Up, 6, {"COM_RADIO_WHOLE_INC"}}, {6, Down, 6, {"COM_RADIO_WHOLE_DEC"}},
            {7, Sel, 2, {}}, {7, Up, 7, {"COM_RADIO_FRACT_INC_CARRY"}},
            {7, Down, 7, {"COM_RADIO_FRACT_DEC_CARRY"}},
            {8, Sel, 4, {}}, {8, Up, 8, {"NAV1_RADIO_WHOLE_INC"}}, {8, Down, 8, {"NAV1_RADIO_WHOLE_DEC"}},
            {9, Sel, 5, {}}, {9, Up, 9, {"NAV1_RADIO_FRACT_INC_CARRY"}},
            {9, Down, 9, {"NAV1_RADIO_FRACT_DEC_CARRY"}},
            // Two buttons in one report: Select enters edit mode, then Down decreases.
            {1, Sel | Down, 6, {"COM_RADIO_WHOLE_DEC"}},
            {6, Up | Down, 6, {"COM_RADIO_WHOLE_INC", "COM_RADIO_WHOLE_DEC"}},
            {0, Sel | Up | Down, 0, {"COM_STBY_RADIO_SWAP"}},
            // A release re-formats and sends; other bits are not the page's.
            {4, 0, 4, {}}, {4, lumiray::SoftButton_Left | lumiray::SoftButton_1, 4, {}},
        },
        true);
    Check<CPage_Tarvex_Com>({{0, Sel, 0, {"COM2_RADIO_SWAP"}},
                             {3, Sel, 3, {"NAV2_RADIO_SWAP"}},
                             {7, Up, 7, {"COM2_RADIO_FRACT_INC_CARRY"}},
                             {8, Down, 8, {"NAV2_RADIO_WHOLE_DEC"}}},
                            false);
}

TEST_F(Buttons, AdfPage) {
    Check<CPage_Tarvex_Adf>({
        {0, Sel, 0, {"RADIO_ADF_IDENT_TOGGLE"}}, {0, Up, 2, {}}, {0, Down, 1, {}},
        {1, Sel, 3, {}}, {1, Up, 0, {}}, {1, Down, 2, {}},
        {2, Sel, 4, {}}, {2, Up, 1, {}}, {2, Down, 0, {}},
        {3, Sel, 1, {}}, {3, Up, 3, {"ADF1_WHOLE_INC"}}, {3, Down, 3, {"ADF1_WHOLE_DEC"}},
        {4, Sel, 2, {}}, {4, Up, 4, {"ADF1_RADIO_TENTHS_INC"}}, {4, Down, 4, {"ADF1_RADIO_TENTHS_DEC"}},
        {1, Sel | Up, 3, {"ADF1_WHOLE_INC"}},
        {2, 0, 2, {}},
    });
}

TEST_F(Buttons, AutopilotPageComparesTheWholeMask) {
    const std::vector<std::string> hdgOn = {"AP_HDG_HOLD_ON", "AP_NAV1_HOLD_OFF", "AP_APR_HOLD_OFF",
                                            "AP_BC_HOLD_OFF"};
    const std::vector<std::string> bcOn = {"AP_HDG_HOLD_OFF", "AP_NAV1_HOLD_OFF", "AP_APR_HOLD_OFF",
                                           "AP_BC_HOLD_ON"};
    Check<CPage_Tarvex_Autopilot>({
        {0, Sel, 0, {"AP_ALT_HOLD"}}, {0, Up, 5, {}}, {0, Down, 1, {}},
        {1, Sel, 6, {}}, {1, Up, 0, {}}, {1, Down, 3, {}},
        {3, Sel, 7, {}}, {3, Up, 1, {}}, {3, Down, 4, {}},
        {4, Sel, 4, {"AP_MASTER"}}, {4, Up, 3, {}}, {4, Down, 5, {}},
        {5, Sel, 8, {}}, {5, Up, 4, {}}, {5, Down, 0, {}},
        {6, Sel, 1, {}}, {6, Up, 6, {"AP_ALT_VAR_INC"}}, {6, Down, 6, {"AP_ALT_VAR_DEC"}},
        {7, Sel, 3, {}}, {7, Up, 7, {"AP_VS_VAR_INC"}}, {7, Down, 7, {"AP_VS_VAR_DEC"}},
        // From no mode, next is heading and previous is back course.
        {8, Sel, 5, {}}, {8, Up, 8, hdgOn}, {8, Down, 8, bcOn},
        // Several buttons, a release or another button: nothing at all.
        {0, Sel | Up, 0, {}, 0}, {1, Sel | Down, 1, {}, 0}, {8, Up | Down, 8, {}, 0},
        {4, 0, 4, {}, 0}, {4, lumiray::SoftButton_Right, 4, {}, 0},
    });
}

TEST_F(Buttons, AutopilotLateralModeRingSendsFourEventsPerStep) {
    Exposed<CPage_Tarvex_Autopilot> page(12, &owner_);
    Initialize(page);
    const auto ids = EventIds(TakeSimCalls());
    page.SetSelection(8);
    const char* on[4] = {"AP_HDG_HOLD_ON", "AP_NAV1_HOLD_ON", "AP_APR_HOLD_ON", "AP_BC_HOLD_ON"};
    const char* off[4] = {"AP_HDG_HOLD_OFF", "AP_NAV1_HOLD_OFF", "AP_APR_HOLD_OFF", "AP_BC_HOLD_OFF"};
    auto step = [&](int index) {
        std::vector<std::string> calls;
        for (int m = 1; m <= 4; ++m) calls.push_back(TransmitCall(ids.at(index == m ? on[m - 1] : off[m - 1]), 12));
        return calls;
    };
    // Five steps forward pass heading, NAV1, approach, back course and none.
    for (int index : {1, 2, 3, 4, 0}) {
        page.OnButtonPress(Up);
        EXPECT_EQ(TakeSimCalls(), step(index)) << index;
    }
    // And back: none wraps to back course.
    for (int index : {4, 3}) {
        page.OnButtonPress(Down);
        EXPECT_EQ(TakeSimCalls(), step(index)) << index;
    }
    EXPECT_EQ(owner_.refreshes, 8);  // one at initialisation and one per step
}

TEST_F(Buttons, DmePageHandlesOnlySelect) {
    Check<CPage_Tarvex_Dme>({
        {0, Sel, 1, {}}, {1, Sel, 0, {}}, {1, Sel | Up, 0, {}},
        {0, Up, 0, {}, 0}, {1, Down, 1, {}, 0}, {0, Up | Down, 0, {}, 0}, {0, 0, 0, {}, 0},
    });
}

TEST_F(Buttons, VorHdgPage) {
    Check<CPage_Tarvex_VorHdg>({
        {0, Sel, 1, {}}, {0, Up, 2, {}}, {0, Down, 2, {}},
        {1, Sel, 0, {}}, {1, Up, 1, {"VOR1_OBI_INC"}}, {1, Down, 1, {"VOR1_OBI_DEC"}},
        {2, Sel, 3, {}}, {2, Up, 0, {}}, {2, Down, 0, {}},
        {3, Sel, 2, {}}, {3, Up, 3, {"HEADING_BUG_INC"}}, {3, Down, 3, {"HEADING_BUG_DEC"}},
        // Up then Down in one report: to the heading and back to the course.
        {0, Up | Down, 0, {}},
        {3, 0, 3, {}},
    });
}

TEST_F(Buttons, TransponderPage) {
    Check<CPage_Tarvex_Xpndr>({
        {0, Sel, 4, {}}, {0, Up, 1, {}}, {0, Down, 3, {}},
        {1, Sel, 5, {}}, {1, Up, 2, {}}, {1, Down, 0, {}},
        {2, Sel, 6, {}}, {2, Up, 3, {}}, {2, Down, 1, {}},
        {3, Sel, 7, {}}, {3, Up, 0, {}}, {3, Down, 2, {}},
        {4, Sel, 0, {}}, {4, Up, 4, {"XPNDR_1000_INC"}}, {4, Down, 4, {"XPNDR_1000_DEC"}},
        {5, Sel, 1, {}}, {5, Up, 5, {"XPNDR_100_INC"}}, {5, Down, 5, {"XPNDR_100_DEC"}},
        {6, Sel, 2, {}}, {6, Up, 6, {"XPNDR_10_INC"}}, {6, Down, 6, {"XPNDR_10_DEC"}},
        {7, Sel, 3, {}}, {7, Up, 7, {"XPNDR_1_INC"}}, {7, Down, 7, {"XPNDR_1_DEC"}},
        {0, Sel | Down, 4, {"XPNDR_1000_DEC"}},
        {2, 0, 2, {}},
    });
}

// The events of a press go out once the page lock is released, so their
// results follow the button traces.
TEST_F(Buttons, TransponderTracesEachButtonBeforeActing) {
    CPage_Tarvex_Xpndr page(13, &owner_);
    Initialize(page);
    page.OnButtonPress(Sel | Up | Down);
    const std::string trace = TraceText();
    EXPECT_NE(trace.find("  CPage_Tarvex_Xpndr::OnButtonPress(SoftButton_Select)\n"
                         "  CPage_Tarvex_Xpndr::OnButtonPress(SoftButton_Up)\n"
                         "  CPage_Tarvex_Xpndr::OnButtonPress(SoftButton_Down)\n"
                         "  TriggerEvent returned 00000000\n"
                         "  TriggerEvent returned 00000000\n"),
              std::string::npos)
        << trace;
}

TEST_F(Buttons, WithoutTheSimulatorEventsAreZeroAndButtonsOnlyMoveTheSelection) {
    CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    Exposed<CPage_Tarvex_Com> page(14, &owner_, true);
    Initialize(page);
    page.OnButtonPress(Sel);                // COM swap: not mapped
    page.OnButtonPress(Down);
    page.OnButtonPress(Sel);
    page.OnButtonPress(Up);                 // whole increase: not mapped
    EXPECT_EQ(page.Selection(), 6);
    EXPECT_EQ(owner_.refreshes, 4);
    const std::string trace = TraceText();
    EXPECT_EQ(trace.find("SimConnect_MapClientEventToSimEvent"), std::string::npos);
    EXPECT_EQ(trace.find("TriggerEvent"), std::string::npos);
    EXPECT_NE(trace.find("  CPage_Tarvex_Com::OnSimInitialize - SimConnect_SetNotificationGroupPriority "
                         "returned 80004001\n"),
              std::string::npos);
}
