// Initialisation, the three lines, data records and the device side of the
// text pages.
#include <cmath>
#include <cstring>
#include <limits>

#include "plugins/aviaro/host/trace_log.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tests/pages/page_fixture.h"
#include "tools/lumiray_standin/lumiray_standin.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

using L = std::vector<std::wstring>;
using S = std::vector<std::string>;
const std::wstring kRaquo = L"\u00BB", kLaquo = L"\u00AB", kDeg = L"\u00B0";

std::string Def(std::uint32_t define, const char* datum, const char* units, int type,
                const char* epsilon, int datumId) {
    return "SimConnect_AddToDataDefinition define=" + std::to_string(define) + " datum=\"" + datum +
           "\" units=\"" + units + "\" type=" + std::to_string(type) + " epsilon=" + epsilon +
           " datumId=" + std::to_string(datumId) + " -> 00000000";
}

// The map and group calls of events mapped from firstId on, in order.
S Mapped(std::uint32_t firstId, std::uint32_t group, const std::vector<const char*>& names) {
    S calls;
    std::uint32_t id = firstId;
    for (const char* name : names) {
        calls.push_back("SimConnect_MapClientEventToSimEvent id=" + std::to_string(id) +
                        " name=\"" + name + "\" -> 00000000");
        calls.push_back("SimConnect_AddClientEventToNotificationGroup group=" +
                        std::to_string(group) + " id=" + std::to_string(id) +
                        " maskable=0 -> 00000000");
        ++id;
    }
    return calls;
}

S Concat(S a, const S& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Priority(std::uint32_t group) {
    return "SimConnect_SetNotificationGroupPriority group=" + std::to_string(group) +
           " priority=1 -> 00000000";
}

template <typename T, std::size_t N>
void Feed(CPage_Tarvex_Base& page, const T (&values)[N]) {
    page.OnSimRecieveData(values, sizeof values);
}

}  // namespace

TEST_F(PageTest, ComPageDefinesItsSetAndTracesTheSameLabelsForBoth) {
    for (bool set1 : {true, false}) {
        CPage_Tarvex_Com page(7, &owner_, set1);
        std::uint32_t define = 0, first = 0;
        Initialize(page, &define, &first);
        const char* n = set1 ? "1" : "2";
        const std::string u = "Frequency BCD16";
        S expected = {Def(define, (std::string("com active frequency:") + n).c_str(), u.c_str(), 1, "0", 0),
                      Def(define, (std::string("com standby frequency:") + n).c_str(), u.c_str(), 1, "0", 1),
                      Def(define, (std::string("nav active frequency:") + n).c_str(), u.c_str(), 1, "0", 2),
                      Def(define, (std::string("nav standby frequency:") + n).c_str(), u.c_str(), 1, "0", 3)};
        expected = Concat(expected,
                          set1 ? Mapped(first, 7,
                                        {"COM_RADIO_WHOLE_INC", "COM_RADIO_WHOLE_DEC",
                                         "COM_RADIO_FRACT_INC_CARRY", "COM_RADIO_FRACT_DEC_CARRY",
                                         "COM_STBY_RADIO_SWAP", "NAV1_RADIO_WHOLE_INC",
                                         "NAV1_RADIO_WHOLE_DEC", "NAV1_RADIO_FRACT_INC_CARRY",
                                         "NAV1_RADIO_FRACT_DEC_CARRY", "NAV1_RADIO_SWAP"})
                               : Mapped(first, 7,
                                        {"COM2_RADIO_WHOLE_INC", "COM2_RADIO_WHOLE_DEC",
                                         "COM2_RADIO_FRACT_INC_CARRY", "COM2_RADIO_FRACT_DEC_CARRY",
                                         "COM2_RADIO_SWAP", "NAV2_RADIO_WHOLE_INC",
                                         "NAV2_RADIO_WHOLE_DEC", "NAV2_RADIO_FRACT_INC_CARRY",
                                         "NAV2_RADIO_FRACT_DEC_CARRY", "NAV2_RADIO_SWAP"}));
        expected.push_back(Priority(7));
        EXPECT_EQ(TakeSimCalls(), expected);
        EXPECT_EQ(page.DefineId(), define);
        EXPECT_EQ(owner_.refreshes, 0);
        EXPECT_EQ(Lines(page), (L{set1 ? L"  COM1    NAV1  " : L"  COM2    NAV2  ",
                                  L"[100.00] 100.00 ", L" 100.00  100.00 "}));
        page.OnSimStart();
        EXPECT_EQ(TakeSimCalls(),
                  S{"SimConnect_RequestDataOnSimObject request=7 define=" + std::to_string(define) +
                    " object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000"});
    }
    std::string labels;
    for (const char* d : {"com active frequency", "com standby frequency",
                          "nav active frequency", "nav standby frequency"}) {
        labels += std::string("  CPage_Tarvex_Com::OnSimInitialize - SimConnect_AddToDataDefinition(") +
                  d + ") returned 00000000\n";
    }
    std::string events;
    for (int i = 0; i < 10; ++i) {
        events += "  SimConnect_MapClientEventToSimEvent returned 00000000\n"
                  "  SimConnect_AddClientEventToNotificationGroup returned 00000000\n";
    }
    const std::string once =
        "  CPage_Tarvex_Com::OnSimInitialize\n" + labels + events +
        "  CPage_Tarvex_Com::OnSimInitialize - SimConnect_SetNotificationGroupPriority returned "
        "00000000\n"
        "  SimConnect_RequestDataOnSimObject returned 00000000\n";
    EXPECT_EQ(TraceText(), once + once);
}

TEST_F(PageTest, OtherPagesDefineTheirRecordsAndEventsInOrder) {
    std::uint32_t define = 0, first = 0;
    {
        CPage_Tarvex_Adf page(2, &owner_);
        Initialize(page, &define, &first);
        EXPECT_EQ(TakeSimCalls(),
                  Concat(Concat(S{Def(define, "ADF SOUND:1", "Bool", 1, "0", 0),
                                  Def(define, "adf active frequency:1", "Frequency ADF BCD32", 1, "0", 1),
                                  Def(define, "adf radial:1", "Degrees", 3, "0.1", 2)},
                                Mapped(first, 2,
                                       {"ADF1_WHOLE_INC", "ADF1_WHOLE_DEC", "ADF1_RADIO_TENTHS_INC",
                                        "ADF1_RADIO_TENTHS_DEC", "RADIO_ADF_IDENT_TOGGLE"})),
                         S{Priority(2)}));
        EXPECT_EQ(owner_.refreshes, 1);  // the ADF page is sent at once
    }
    {
        CPage_Tarvex_Autopilot page(3, &owner_);
        Initialize(page, &define, &first);
        S defs;
        int i = 0;
        for (const char* d : {"autopilot master", "autopilot heading lock", "autopilot nav1 lock",
                              "autopilot approach hold", "autopilot backcourse hold",
                              "autopilot altitude lock"}) {
            defs.push_back(Def(define, d, "Bool", 1, "0", i++));
        }
        defs.push_back(Def(define, "autopilot altitude lock var", "Feet", 1, "0", 6));
        defs.push_back(Def(define, "autopilot vertical hold var", "Feet/minute", 1, "0", 7));
        EXPECT_EQ(TakeSimCalls(),
                  Concat(Concat(defs, Mapped(first, 3,
                                             {"AP_MASTER", "AP_HDG_HOLD_ON", "AP_NAV1_HOLD_ON",
                                              "AP_APR_HOLD_ON", "AP_BC_HOLD_ON", "AP_HDG_HOLD_OFF",
                                              "AP_NAV1_HOLD_OFF", "AP_APR_HOLD_OFF",
                                              "AP_BC_HOLD_OFF", "AP_ALT_HOLD", "AP_ALT_VAR_INC",
                                              "AP_ALT_VAR_DEC", "AP_VS_VAR_INC", "AP_VS_VAR_DEC"})),
                         S{Priority(3)}));
        EXPECT_EQ(owner_.refreshes, 2);  // so is the autopilot page
    }
    {
        CPage_Tarvex_Dme page(4, &owner_);
        Initialize(page, &define, &first);
        EXPECT_EQ(TakeSimCalls(), (S{Def(define, "nav dme:1", "nmiles", 3, "0", 0),
                                     Def(define, "nav dme:2", "nmiles", 3, "0", 1),
                                     Def(define, "nav dmespeed:1", "Knots", 3, "0", 2),
                                     Def(define, "nav dmespeed:2", "Knots", 3, "0", 3),
                                     Priority(4)}));
    }
    {
        CPage_Tarvex_VorHdg page(5, &owner_);
        Initialize(page, &define, &first);
        EXPECT_EQ(TakeSimCalls(),
                  Concat(Concat(S{Def(define, "NAV1 OBS", "radians", 4, "0", 0),
                                  Def(define, "Autopilot heading lock dir", "radians", 4, "0", 1)},
                                Mapped(first, 5,
                                       {"VOR1_OBI_INC", "VOR1_OBI_DEC", "HEADING_BUG_INC",
                                        "HEADING_BUG_DEC"})),
                         S{Priority(5)}));
    }
    {
        CPage_Tarvex_Xpndr page(6, &owner_);
        Initialize(page, &define, &first);
        EXPECT_EQ(TakeSimCalls(),
                  Concat(Concat(S{Def(define, "transponder code:1", "BCO16", 1, "0", 0)},
                                Mapped(first, 6,
                                       {"XPNDR_1000_INC", "XPNDR_100_INC", "XPNDR_10_INC",
                                        "XPNDR_1_INC", "XPNDR_1000_DEC", "XPNDR_100_DEC",
                                        "XPNDR_10_DEC", "XPNDR_1_DEC"})),
                         S{Priority(6)}));
    }
    EXPECT_EQ(owner_.refreshes, 2);  // DME, VOR/HDG and transponder pages wait for data
    const std::string trace = TraceText();
    for (const char* line :
         {"  CPage_Tarvex_Adf::OnSimInitialize\n",
          "  CPage_Tarvex_Adf::OnSimInitialize - SimConnect_AddToDataDefinition(ADF SOUND) returned 00000000\n",
          "  CPage_Tarvex_Adf::OnSimInitialize - SimConnect_AddToDataDefinition(adf active frequency) returned 00000000\n",
          "  CPage_Tarvex_Adf::OnSimInitialize - SimConnect_AddToDataDefinition(adf radial) returned 00000000\n",
          "  CPage_Tarvex_Adf::OnSimInitialize - SimConnect_SetNotificationGroupPriority returned 00000000\n",
          "  CPage_Tarvex_Autopilot::OnSimInitialize - SimConnect_AddToDataDefinition(autopilot vertical hold var) returned 00000000\n",
          "  CPage_Tarvex_Dme::OnSimInitialize - SimConnect_AddToDataDefinition(nav1 dme) returned 00000000\n",
          "  CPage_Tarvex_Dme::OnSimInitialize - SimConnect_AddToDataDefinition(nav2 dmespeed) returned 00000000\n",
          "  CPage_Tarvex_VorHdg::OnSimInitialize - SimConnect_AddToDataDefinition(Autopilot heading lock dir) returned 00000000\n",
          "  CPage_Tarvex_Xpndr::OnSimInitialize - SimConnect_AddToDataDefinition(XPNDR) returned 00000000\n",
          "  CPage_Tarvex_Xpndr::OnSimInitialize - SimConnect_SetNotificationGroupPriority returned 00000000\n"}) {
        EXPECT_NE(trace.find(line), std::string::npos) << line;
    }
}

TEST_F(PageTest, ComLinesInEveryState) {
    Exposed<CPage_Tarvex_Com> page(1, &owner_, true);
    Initialize(page);
    const std::int32_t record[4] = {0x1850, 0x2200, 0x1030, 0x0800};
    Feed(page, record);
    const std::wstring active[2] = {L" 118.50  110.30 ", L" 122.00  108.00 "};
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"[118.50] 110.30 ", active[1]},
        {active[0], L">122.00  108.00 "},
        {active[0], L" 122.00< 108.00 "},
        {L" 118.50 [110.30]", active[1]},
        {active[0], L" 122.00 >108.00 "},
        {active[0], L" 122.00  108.00<"},
        {active[0], kRaquo + L"122.00  108.00 "},
        {active[0], L" 122.00" + kLaquo + L" 108.00 "},
        {active[0], L" 122.00 " + kRaquo + L"108.00 "},
        {active[0], L" 122.00  108.00" + kLaquo},
    };
    for (int s = 0; s < 10; ++s) {
        page.SetSelection(s);
        page.OnPageActivated(device_);
        EXPECT_EQ(Lines(page), (L{L"  COM1    NAV1  ", expected[s].first, expected[s].second}))
            << "state " << s;
    }
    // A nibble above 9 prints its value in two characters.
    page.SetSelection(1);
    const std::int32_t odd[4] = {0xA5F0, 0x2200, 0x1030, 0x0800};
    Feed(page, odd);
    EXPECT_EQ(page.Line(1), L" 1105.150  110.30 ");
}

TEST_F(PageTest, AdfLinesStatesAndRadials) {
    Exposed<CPage_Tarvex_Adf> page(2, &owner_);
    Initialize(page);
    EXPECT_EQ(Lines(page), (L{L" ADF  [OFF] ", L" 0000.0 ", L" 000.00" + kDeg}));
    struct Record {
        std::int32_t sound, frequency;
        float radial;
    };
    // Every nibble differs, so a digit taken from the wrong nibble shows.
    Record r{1, 0x17352986, 12.5f};
    page.OnSimRecieveData(&r, sizeof r);
    const std::vector<L> expected = {
        {L" ADF  [ON] ", L" 1735.2 "},
        {L" ADF   ON  ", L">1735.2 "},
        {L" ADF   ON  ", L" 1735.2<"},
        {L" ADF   ON  ", kRaquo + L"1735.2 "},
        {L" ADF   ON  ", L" 1735.2" + kLaquo},
    };
    for (int s = 0; s < 5; ++s) {
        page.SetSelection(s);
        page.OnPageActivated(device_);
        EXPECT_EQ(Lines(page), (L{expected[s][0], expected[s][1], L" 012.50" + kDeg})) << s;
    }
    for (auto [radial, text] : std::vector<std::pair<float, std::wstring>>{
             {-10.0f, L" 350.00"}, {725.0f, L" 005.00"}, {360.0f, L" 360.00"}, {0.0f, L" 000.00"},
             {-1.0e9f, L" 080.00"}, {-0.0f, L" 000.00"}}) {
        r.radial = radial;
        page.OnSimRecieveData(&r, sizeof r);
        EXPECT_EQ(page.Line(2), text + kDeg) << radial;
    }
    // An infinite radial is shown as such rather than normalised for ever.
    r.radial = std::numeric_limits<float>::infinity();
    page.OnSimRecieveData(&r, sizeof r);
    EXPECT_NE(page.Line(2).find(L"inf"), std::wstring::npos);
}

TEST_F(PageTest, AutopilotLinesInEveryState) {
    Exposed<CPage_Tarvex_Autopilot> page(3, &owner_);
    Initialize(page);
    EXPECT_EQ(Lines(page), (L{L"[---]   000000 ", L" VS      00000 ", L" --      --- "}));
    // Master on, NAV1 lock, altitude hold at 12000 ft, descending at 700 ft/min.
    std::int32_t r[8] = {1, 0, 1, 0, 0, 1, 12000, -700};
    Feed(page, r);
    const std::map<int, L> expected = {
        {0, {L"[ALT]   012000 ", L" VS      -0700 ", L" AP      NAV "}},
        {1, {L" ALT    012000<", L" VS      -0700 ", L" AP      NAV "}},
        {3, {L" ALT    012000 ", L" VS      -0700<", L" AP      NAV "}},
        {4, {L" ALT    012000 ", L" VS      -0700 ", L"[AP]     NAV "}},
        {5, {L" ALT    012000 ", L" VS      -0700 ", L" AP     <NAV>"}},
        {6, {L" ALT    012000" + kLaquo, L" VS      -0700 ", L" AP      NAV "}},
        {7, {L" ALT    012000 ", L" VS      -0700" + kLaquo, L" AP      NAV "}},
        {8, {L" ALT    012000 ", L" VS      -0700 ", L" AP     " + kLaquo + L"NAV" + kRaquo}},
    };
    for (const auto& [s, lines] : expected) {
        page.SetSelection(s);
        page.OnPageActivated(device_);
        EXPECT_EQ(Lines(page), lines) << s;
    }
    page.SetSelection(0);
    // The first lock that is on names the mode: heading before NAV1.
    for (auto [locks, mode] : std::vector<std::pair<std::vector<int>, std::wstring>>{
             {{1, 1, 0, 0}, L"HDG"}, {{0, 0, 1, 1}, L"APR"}, {{0, 0, 0, 1}, L"BC "},
             {{0, 0, 0, 0}, L"---"}}) {
        for (int i = 0; i < 4; ++i) r[1 + i] = locks[static_cast<std::size_t>(i)];
        Feed(page, r);
        EXPECT_EQ(page.Line(2), L" AP      " + mode + L" ");
    }
}

TEST_F(PageTest, DmeLinesForBothReceivers) {
    CPage_Tarvex_Dme page(4, &owner_);
    Initialize(page);
    EXPECT_EQ(Lines(page), (L{L" DME     [R1]", L" 0000.0 NM", L" 0000.0 Knots"}));
    const float r[4] = {12.3f, 5.0f, 140.0f, -1.0f};
    Feed(page, r);
    EXPECT_EQ(Lines(page), (L{L" DME     [R1]", L" 0012.3 NM", L" 0140.0 Knots"}));
    page.OnButtonPress(lumiray::SoftButton_Select);
    EXPECT_EQ(Lines(page), (L{L" DME     [R2]", L" 0005.0 NM", L" --- Knots"}));
    const float noDistance[4] = {-1.0f, 5.0f, 140.0f, 0.0f};
    Feed(page, noDistance);
    EXPECT_EQ(Lines(page), (L{L" DME     [R2]", L" 0005.0 NM", L" 0000.0 Knots"}));
    page.OnButtonPress(lumiray::SoftButton_Select);
    EXPECT_EQ(Lines(page), (L{L" DME     [R1]", L" ---- NM", L" 0140.0 Knots"}));
    // A negative zero is zero, not below it: no minus sign.
    const float negativeZero[4] = {-0.0f, 5.0f, -0.0f, 0.0f};
    Feed(page, negativeZero);
    EXPECT_EQ(Lines(page), (L{L" DME     [R1]", L" 0000.0 NM", L" 0000.0 Knots"}));
}

TEST_F(PageTest, VorHdgLinesInEveryState) {
    Exposed<CPage_Tarvex_VorHdg> page(5, &owner_);
    Initialize(page);
    EXPECT_EQ(Lines(page), (L{L"  VOR     HDG   ", L" >000" + kDeg + L"    000" + kDeg + L"  ", L""}));
    const double kPi = 3.1415926535;  // the page's own constant
    double r[2] = {359.9 * kPi / 180.0, kPi / 2};
    Feed(page, r);
    const std::wstring course = L"359" + kDeg + L"    090" + kDeg;
    const std::vector<std::wstring> expected = {L" >" + course + L"  ", L" " + kRaquo + course + L"  ",
                                                L"  " + course + L"< ", L"  " + course + kLaquo + L" "};
    for (int s = 0; s < 4; ++s) {
        page.SetSelection(s);
        page.OnPageActivated(device_);
        EXPECT_EQ(Lines(page), (L{L"  VOR     HDG   ", expected[s], L""})) << s;
    }
    page.SetSelection(0);
    for (auto [course, heading, text] : std::vector<std::tuple<double, double, std::wstring>>{
             {0.5 * kPi / 180.0, 2 * kPi, L" >000" + kDeg + L"    360" + kDeg + L"  "},
             {-kPi / 2, 5 * kPi, L" >270" + kDeg + L"    180" + kDeg + L"  "},
             // Not a number: dashes rather than an undefined conversion.
             {std::nan(""), 0.0, L" >---" + kDeg + L"    000" + kDeg + L"  "},
             {std::numeric_limits<double>::infinity(), -kPi / 2,
              L" >---" + kDeg + L"    270" + kDeg + L"  "}}) {
        r[0] = course;
        r[1] = heading;
        Feed(page, r);
        EXPECT_EQ(page.Line(1), text);
    }
    // A huge value is brought into range at once (its digits depend on the
    // floating-point unit), not by subtracting 360 for ever.
    r[1] = 1.0e300;
    Feed(page, r);
    const std::wstring line = page.Line(1);
    ASSERT_EQ(line.size(), 16u);
    const int heading = std::stoi(line.substr(10, 3));
    EXPECT_TRUE(heading >= 0 && heading <= 360) << heading;
}

TEST_F(PageTest, TransponderLinesAndTheCutTitle) {
    Exposed<CPage_Tarvex_Xpndr> page(6, &owner_);
    Initialize(page);
    EXPECT_EQ(Lines(page), (L{L"   Transponder   ", L"     0000       ", L"     ^          "}));
    const std::int32_t code = 0x7700;
    Feed(page, {code});
    EXPECT_EQ(Lines(page), (L{L"   Transponder   ", L"     7700       ", L"     ^          "}));
    for (auto [s, marks] : std::vector<std::pair<int, std::wstring>>{
             {1, L" ^  "}, {2, L"  ^ "}, {3, L"   ^"}, {4, L"-   "}, {5, L" -  "}, {6, L"  - "},
             {7, L"   -"}}) {
        page.SetSelection(s);
        page.OnPageActivated(device_);
        EXPECT_EQ(page.Line(2), L"     " + marks + L"       ") << s;
    }
    // Sending cuts every line to 16 characters in the page's own buffer.
    page.SendToDevice(device_, &CLumirayLibrary::DeviceType_Tarvex);
    EXPECT_EQ(Lines(page), (L{L"   Transponder  ", L"     7700       ", L"        -       "}));
}

TEST_F(PageTest, EqualRecordSendsNothingAndAnotherSizeOnlyTraces) {
    CPage_Tarvex_Com page(1, &owner_, true);
    owner_.devices = {device_};
    Initialize(page);
    TakeSimCalls();
    TakeDeviceCalls();
    const std::int32_t record[4] = {0x1850, 0x2200, 0x1030, 0x0800};
    Feed(page, record);
    EXPECT_EQ(owner_.refreshes, 1);
    EXPECT_EQ(TakeDeviceCalls().size(), 3u);
    const L shown = Lines(page);
    Feed(page, record);
    const std::int32_t longer[5] = {0x1111, 0x1111, 0x1111, 0x1111, 0};
    Feed(page, longer);
    page.OnSimRecieveData(record, 12);
    page.OnSimRecieveData(nullptr, 16);
    EXPECT_EQ(owner_.refreshes, 1);
    EXPECT_EQ(Lines(page), shown);
    EXPECT_TRUE(TakeDeviceCalls().empty());
    EXPECT_TRUE(TakeSimCalls().empty());
    const std::string mismatch =
        "  CPage_Tarvex_Com::OnSimRecieveData - Data Format Size Mismatch\n";
    const std::string trace = TraceText();
    EXPECT_EQ(trace.substr(trace.size() - 3 * mismatch.size()), mismatch + mismatch + mismatch);
}

TEST_F(PageTest, AddToDeviceAddsSendsAndReportsTheActiveState) {
    CPage_Tarvex_Com page(9, &owner_, true);
    Initialize(page);
    TakeDeviceCalls();
    bool wasActive = false;
    EXPECT_TRUE(page.AddToDevice(device_, true, &wasActive));
    EXPECT_TRUE(wasActive);
    EXPECT_EQ(TakeDeviceCalls(),
              (S{"Lumiray_GetDeviceType device=1 -> 00000000",
                 "Lumiray_AddPage device=1 page=9 flags=1 -> 00000000",
                 "Lumiray_SetString device=1 page=9 index=0 length=16 text=\"  COM1    NAV1  \" -> 00000000",
                 "Lumiray_SetString device=1 page=9 index=1 length=16 text=\"[100.00] 100.00 \" -> 00000000",
                 "Lumiray_SetString device=1 page=9 index=2 length=16 text=\" 100.00  100.00 \" -> 00000000"}));
    EXPECT_EQ(Screen(), (L{L"  COM1    NAV1  ", L"[100.00] 100.00 ", L" 100.00  100.00 "}));
    EXPECT_TRUE(page.AddToDevice(device_, false, &wasActive));
    EXPECT_FALSE(wasActive);
    EXPECT_EQ(TakeDeviceCalls()[1], "Lumiray_AddPage device=1 page=9 flags=0 -> 00000000");

    // Not on an instrument-panel unit, nor on a device the library does not know.
    const int mira = standin::LumirayStandIn::Instance().AddDevice(standin::DeviceKind::Mira);
    wasActive = true;
    EXPECT_FALSE(page.AddToDevice(standin::LumirayStandIn::Instance().DeviceHandle(mira), true,
                                  &wasActive));
    EXPECT_FALSE(page.AddToDevice(reinterpret_cast<lumiray::Device>(0x77), true, &wasActive));
    EXPECT_TRUE(wasActive);
    const S calls = TakeDeviceCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "Lumiray_GetDeviceType device=2 -> 00000000");
    // A device of another type gets nothing from SendToDevice either.
    page.SendToDevice(device_, &CLumirayLibrary::DeviceType_Mira);
    page.SendToDevice(device_, nullptr);
    EXPECT_TRUE(TakeDeviceCalls().empty());

    const std::string trace = TraceText();
    EXPECT_NE(trace.find("  Lumiray_GetDeviceType returned 00000000\n"
                         "  Lumiray_AddPage returned 00000000\n"
                         "  Lumiray_SetString(0, \"  COM1    NAV1  \") returned 00000000\n"
                         "  Lumiray_SetString(1, \"[100.00] 100.00 \") returned 00000000\n"
                         "  Lumiray_SetString(2, \" 100.00  100.00 \") returned 00000000\n"),
              std::string::npos);
}

TEST_F(PageTest, ActivationTracesTheNameAndLineTwoIsSentEmpty) {
    CPage_Tarvex_VorHdg page(5, &owner_);
    Initialize(page);
    bool active = false;
    ASSERT_TRUE(page.AddToDevice(device_, true, &active));
    TakeDeviceCalls();
    page.OnPageActivated(device_);
    page.SendToDevice(device_, &CLumirayLibrary::DeviceType_Tarvex);
    const S calls = TakeDeviceCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2], "Lumiray_SetString device=1 page=5 index=2 length=0 text=\"\" -> 00000000");
    const std::string trace = TraceText();
    EXPECT_NE(trace.find("  \nPAGE_ACTIVATED : CPage_Tarvex_VorHdg\n\n"
                         "  Lumiray_SetString(0, \"  VOR     HDG   \") returned 00000000\n"),
              std::string::npos);
    // The marker reaches the trace file in the ANSI code page.
    EXPECT_NE(trace.find("  Lumiray_SetString(1, \" >000\xb0    000\xb0  \") returned 00000000\n"),
              std::string::npos);
}

CPage_Tarvex_Base* g_reenteredPage;
int g_setStringCalls;

HRESULT AV_STDCALL ReenteringSetString(lumiray::Device d, lumiray::DWord p, lumiray::DWord i,
                                       lumiray::DWord n, const wchar_t* t) {
    if (++g_setStringCalls == 1) {
        const float later[4] = {3.0f, 5.0f, 95.5f, -1.0f};
        g_reenteredPage->OnSimRecieveData(later, sizeof later);
    }
    return standin::LumirayStandIn::Entries().setString(d, p, i, n, t);
}

// After a data block the device gets only lines that look different; a send
// that finds the lines changed under it sends them again at once.
TEST_F(PageTest, DataBlocksSendOnlyChangedLinesAndASendCatchesUp) {
    CPage_Tarvex_Dme page(4, &owner_);
    owner_.devices = {device_};
    Initialize(page);
    bool active = false;
    ASSERT_TRUE(page.AddToDevice(device_, true, &active));
    TakeDeviceCalls();
    const float first[4] = {12.34f, 5.0f, 140.0f, -1.0f};
    Feed(page, first);
    EXPECT_EQ(TakeDeviceCalls().size(), 3u);
    // 12.31 NM and 140.04 kt show as before: a new record, nothing sent.
    const float same[4] = {12.31f, 5.0f, 140.04f, -1.0f};
    Feed(page, same);
    EXPECT_TRUE(TakeDeviceCalls().empty());
    EXPECT_EQ(owner_.refreshes, 1);
    const float moved[4] = {12.36f, 5.0f, 140.04f, -1.0f};
    Feed(page, moved);
    EXPECT_EQ(TakeDeviceCalls().size(), 3u);
    EXPECT_EQ(Screen(), (L{L" DME     [R1]", L" 0012.4 NM", L" 0140.0 Knots"}));

    // A library that calls back from inside SetString: the first line's send
    // delivers a data block to the page (as another thread might meanwhile).
    g_reenteredPage = &page;
    g_setStringCalls = 0;
    lumiray::EntryTable entries = standin::LumirayStandIn::Entries();
    entries.setString = &ReenteringSetString;
    CLumirayLibrary::Instance().UseEntryTable(entries);
    page.SendToDevice(device_, &CLumirayLibrary::DeviceType_Tarvex);
    EXPECT_EQ(Screen(), (L{L" DME     [R1]", L" 0003.0 NM", L" 0095.5 Knots"}));
    EXPECT_EQ(g_setStringCalls, 6);  // the old lines once, the new lines once
}

// An event the simulator would not put in the page's group is not mapped:
// its button transmits nothing.
TEST_F(PageTest, AFailedGroupRegistrationLeavesTheEventUnmapped) {
    standin::SimStandIn::Instance().FailCallsStartingWith(
        "SimConnect_AddClientEventToNotificationGroup group=2 ");
    Exposed<CPage_Tarvex_Adf> page(2, &owner_);
    Initialize(page);
    TakeSimCalls();
    page.SetSelection(3);  // editing the whole kilohertz
    page.OnButtonPress(lumiray::SoftButton_Up);
    page.OnButtonPress(lumiray::SoftButton_Down);
    page.SetSelection(0);
    page.OnButtonPress(lumiray::SoftButton_Select);  // ident toggle
    EXPECT_TRUE(TakeSimCalls().empty());
    EXPECT_EQ(TraceText().find("TriggerEvent"), std::string::npos);
}
