#include "plugins/aviaro/gauge/gauge_renderer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "tests/gauge/gauge_test_support.h"

namespace {

using gaugetest::Frame;
using gaugetest::ScratchFolder;
using simconnect::DWord;

// What the recording SimConnect saw, one line per call.
std::vector<std::string> g_calls;
// Event names the simulator refuses to map.
std::string g_refused = "NO_SUCH_EVENT";

HRESULT AV_STDCALL RecordMap(av::Handle, DWord eventId, const char* name) {
    g_calls.push_back("Map(" + std::to_string(eventId) + ", " + name + ")");
    return name == g_refused ? E_NOTIMPL : S_OK;
}
HRESULT AV_STDCALL RecordGroup(av::Handle, DWord groupId, DWord eventId, int) {
    g_calls.push_back("Group(" + std::to_string(groupId) + ", " + std::to_string(eventId) + ")");
    return S_OK;
}
HRESULT AV_STDCALL RecordTransmit(av::Handle, DWord objectId, DWord eventId, DWord data,
                                  DWord groupId, DWord flags) {
    g_calls.push_back("Transmit(" + std::to_string(objectId) + ", " + std::to_string(eventId) + ", " +
                      std::to_string(data) + ", " + std::to_string(groupId) + ", " +
                      std::to_string(flags) + ")");
    return S_OK;
}
HRESULT AV_STDCALL AcceptDefinition(av::Handle, DWord, const char*, const char*, DWord, float, DWord) {
    return S_OK;
}

std::vector<RasterPixel> Solid(int w, int h, RasterPixel c) {
    return std::vector<RasterPixel>(std::size_t(w) * h, c);
}

class GaugeRenderer : public testing::Test {
protected:
    void SetUp() override {
        av::platform::ComInitialize();  // the XML reader is MSXML's on Windows
        g_calls.clear();
        simconnect::EntryTable table;
        table.mapClientEventToSimEvent = &RecordMap;
        table.addClientEventToNotificationGroup = &RecordGroup;
        table.transmitClientEvent = &RecordTransmit;
        table.addToDataDefinition = &AcceptDefinition;
        CSimConnectLibrary::Instance().UseEntryTable(table);
        CTraceLog::Instance().Open(folder_ / "trace.log");
        // The small gauges' bitmaps. The background: grey with a window of
        // RGB(1,1,1) at (10..29, 10..19) and a black bar at the bottom.
        std::vector<RasterPixel> bg = Solid(40, 30, 0x505050);
        for (int y = 10; y < 20; ++y) {
            for (int x = 10; x < 30; ++x) bg[y * 40 + x] = 0x010101;
        }
        for (int x = 0; x < 40; ++x) bg[28 * 40 + x] = 0;
        Write("bg.bmp", 40, 30, bg);
        std::vector<RasterPixel> tape(60 * 6);
        for (int i = 0; i < 60 * 6; ++i) tape[i] = RasterPixel(((i % 60) * 4) << 16 | 0x3000 | (i / 60) * 40);
        Write("tape.bmp", 60, 6, tape);
        std::vector<RasterPixel> needle = Solid(12, 3, 0xE02020);
        needle[12 + 11] = needle[12 + 10] = 0xFFFF00;
        needle[0] = needle[2 * 12] = 0;  // black corners: transparent
        Write("needle.bmp", 12, 3, needle);
        Write("dot.bmp", 3, 3, Solid(3, 3, 0xFFFFFF));
        Write("blue.bmp", 5, 5, Solid(5, 5, 0x0000FF));
    }
    void TearDown() override {
        CTraceLog::Instance().Close();
        CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    }
    void Write(const std::string& name, int w, int h, const std::vector<RasterPixel>& pixels) {
        gaugetest::WriteBytes(folder_.Path() / "1024" / name, gaugetest::Bmp24(w, h, pixels));
        gaugetest::WriteBytes(folder_.Path() / name, gaugetest::Bmp24(w, h, pixels));
    }
    std::wstring File(const std::string& name, const std::string& text) {
        gaugetest::WriteText(folder_.Path() / name, text);
        return folder_ / name;
    }
    std::string Trace() {
        CTraceLog::Instance().Close();
        std::ifstream in(folder_.Path() / "trace.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::wstring TestGaugeFolder() const { return (gaugetest::Here() / "1024").wstring(); }

    ScratchFolder folder_;
    const std::uint32_t pageId_ = 7;
};

// The Gauge vocabulary end to end: names in any case, "ImageSizes" scaling,
// an element read before the background, a second "Value" winning, a comment
// traced and skipped, the mouse areas' sides and the failure that stops them.
TEST_F(GaugeRenderer, ReadsTheGaugeVocabulary) {
    const std::wstring path = File("panel.xml", R"(<?xml version="1.0"?>
<GAUGE Name="Airspeed Test">
  <Element><Position X="1" Y="2"/></Element>
  <image Name="bg.bmp" ImageSizes="153,153,192,192"/>
  <Comment>drawn by hand</Comment>
  <element>
    <POSITION X="153" Y="76.5"/>
    <Visible>(L:Show)</Visible>
    <MaskImage Name="bg.bmp"><Axis X="10" Y="-51"/></MaskImage>
    <Image Name="blue.bmp" Alpha="Yes"><Axis X="30.6"/>
      <Nonlinearity><Item Value="5" X="153" Y="0"/><Item Value="9" Degrees="45.5"/></Nonlinearity>
    </Image>
    <Shift>
      <Value Minimum="-3">(L:First)</Value>
      <Value Maximum="12.5">(A:Second thing,feet)</Value>
      <Scale X="1"/>
    </Shift>
    <Rotate><Value Minimum="0" Maximum="1">(L:Turn)</Value></Rotate>
  </element>
  <Mouse>
    <Area>
      <Area><Cursor Type="UpArrow"/><Click Event="HEADING_BUG_INC"/></Area>
      <Area><Cursor Type="DownArrow"/><Click>(L:K) 1 - (&gt;L:K)</Click></Area>
    </Area>
    <Area><Area><Cursor/><Click>1</Click></Area></Area>
    <Area><Area><Click>2</Click></Area></Area>
  </Mouse>
</GAUGE>)");
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId_);
    EXPECT_TRUE(renderer.LoadFromFile(variables, path));
    EXPECT_EQ(renderer.GetGaugeName(), L"Airspeed Test");
    EXPECT_EQ(renderer.ImageFolder(), folder_.Path().wstring() + L"\\1024");
    ASSERT_EQ(renderer.Elements().size(), 2u);

    const CGaugeElement& early = *renderer.Elements()[0];
    EXPECT_EQ(early.PositionX(), 1);  // read before the background: no scaling yet

    const CGaugeElement& e = *renderer.Elements()[1];
    EXPECT_EQ(e.PositionX(), 192);  // 153 × 192 / 153
    EXPECT_EQ(e.PositionY(), 96);   // 76.5 × 192 / 153
    // Axes and shift scales are scaled alike: the small_gauge golden pins them.
    EXPECT_EQ(e.Visibility().text, L"(L:Show)");
    EXPECT_EQ(e.Shift().text, L"(A:Second thing,feet)");
    EXPECT_FALSE(e.Shift().hasMinimum);
    EXPECT_TRUE(e.Shift().hasMaximum);
    EXPECT_EQ(e.Shift().maximum, 12.5f);
    EXPECT_EQ(e.ShiftScaleY(), 0.0f);  // a missing one is 0
    EXPECT_EQ(e.Rotation().text, L"(L:Turn)");
    ASSERT_EQ(e.Nonlinearity().size(), 2u);
    // (192, 0) seen from (192, 96): straight up.
    EXPECT_EQ(e.Nonlinearity()[0].x, 192.0f);
    EXPECT_EQ(e.Nonlinearity()[0].angle, 0.0f);
    EXPECT_EQ(e.Nonlinearity()[1].angle, 45.5f);
    EXPECT_EQ(e.Nonlinearity()[1].value, 9.0f);
    // The shift's simulator variable was requested, the visibility's not.
    EXPECT_EQ(variables.Count(), 1);

    // The second outer area fails, so it and the third add nothing.
    ASSERT_EQ(renderer.KnobActions().size(), 1u);
    const CKnobAction& knob = renderer.KnobActions()[0];
    EXPECT_NE(knob.eventA, 0u);
    EXPECT_EQ(knob.scriptA, L"");
    EXPECT_EQ(knob.eventB, 0u);
    EXPECT_EQ(knob.scriptB, L"(L:K) 1 - (>L:K)");
    EXPECT_EQ(g_calls, (std::vector<std::string>{
                           "Map(" + std::to_string(knob.eventA) + ", HEADING_BUG_INC)",
                           "Group(7, " + std::to_string(knob.eventA) + ")"}));
    EXPECT_NE(Trace().find("  CGaugeRenderer::LoadFromFile - skipped Comment\r\n"), std::string::npos);
}

TEST_F(GaugeRenderer, ImageSizesAreTakenApartFromTheRight) {
    struct Case {
        const char* sizes;
        int w1, h1, w2, h2;
    };
    // Without "ImageSizes" fields the draw size is the background's (40 × 30)
    // and the design size 0.
    const Case cases[] = {
        {"153,153,192,192", 153, 153, 192, 192},
        {"10, 20,\t30,\n 40", 10, 20, 30, 40},
        {"7,9", 7, 0, 40, 9},
        {"5", 5, 0, 40, 30},
        {"1,2,3,4,5", 1, 3, 4, 5},  // what remains, "1,2", reads as 1
        {"-4,x,3,99999999999", -4, 0, 3, 2147483647},
        {"", 0, 0, 40, 30},
    };
    for (const Case& c : cases) {
        CGaugeVariables variables;
        CGaugeRenderer renderer(&pageId_);
        const std::wstring path = File("sizes.xml", std::string("<Gauge><Image Name=\"bg.bmp\" ImageSizes=\"") +
                                                        c.sizes + "\"/></Gauge>");
        renderer.LoadFromFile(variables, path);
        EXPECT_EQ(renderer.DesignWidth(), c.w1) << c.sizes;
        EXPECT_EQ(renderer.DesignHeight(), c.h1) << c.sizes;
        EXPECT_EQ(renderer.DrawWidth(), c.w2) << c.sizes;
        EXPECT_EQ(renderer.DrawHeight(), c.h2) << c.sizes;
    }
}

TEST_F(GaugeRenderer, ReadsTheSimGaugeVocabulary) {
    const std::wstring path = File("sim.xml", R"(<SimBase.Document Type="AceXML" version="1,0">
  <SimGauge.Gauge id="Gauge">
    <FloatPosition>0.000,0.000</FloatPosition>
    <Image id="Image" Name="bg.bmp"/>
    <Element>
      <FloatPosition>10.9, -20.9</FloatPosition>
      <Visibility>(L:On)</Visibility>
      <MaskImage Name="bg.bmp"><Axis>3.5,  4</Axis></MaskImage>
      <Image Name="needle.bmp"><Axis>5</Axis></Image>
      <Shift><Scale>2,3</Scale>
        <Expression><Minimum>-1</Minimum><Script>(A:Pitch,degrees)</Script></Expression></Shift>
      <Rotation><Expression><Maximum>0.5</Maximum><Script>(L:Turn)</Script></Expression></Rotation>
    </Element>
    <MouseArea>
      <MouseArea>
        <MouseArea><CursorType>DownArrow</CursorType><MouseClick><KeyEvent>NO_SUCH_EVENT</KeyEvent></MouseClick></MouseArea>
        <MouseArea><CursorType>UpArrow</CursorType><MouseClick><Script>(L:A) ++ (&gt;L:A)</Script></MouseClick></MouseArea>
      </MouseArea>
      <MouseArea>
        <MouseArea><MouseClick><Script>3</Script></MouseClick></MouseArea>
      </MouseArea>
    </MouseArea>
  </SimGauge.Gauge>
</SimBase.Document>)");
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId_);
    EXPECT_TRUE(renderer.LoadFromFile(variables, path));
    EXPECT_EQ(renderer.GetGaugeName(), L"");
    EXPECT_EQ(renderer.ImageFolder(), folder_.Path().wstring());
    ASSERT_EQ(renderer.Elements().size(), 1u);
    const CGaugeElement& e = *renderer.Elements()[0];
    EXPECT_EQ(e.PositionX(), 10);
    EXPECT_EQ(e.PositionY(), -20);
    EXPECT_EQ(e.Visibility().text, L"(L:On)");
    EXPECT_EQ(e.Mask().AxisY(), 4.0f);  // after "3.5,  4"
    EXPECT_EQ(e.Image().AxisX(), 5.0f);  // a single number is X
    EXPECT_EQ(e.Shift().minimum, -1.0f);
    EXPECT_FALSE(e.Shift().hasMaximum);
    ASSERT_EQ(renderer.KnobActions().size(), 2u);
    EXPECT_EQ(renderer.KnobActions()[0].eventB, 0u);  // the mapping failed
    EXPECT_EQ(renderer.KnobActions()[0].scriptB, L"");
    EXPECT_EQ(renderer.KnobActions()[0].scriptA, L"(L:A) ++ (>L:A)");
    EXPECT_EQ(renderer.KnobActions()[1].scriptB, L"3");  // no CursorType: side B
}

// These, and a file without a background, leave the page to add the test gauge.
TEST_F(GaugeRenderer, UnreadableAndForeignFilesAreTraced) {
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId_);
    EXPECT_FALSE(renderer.LoadFromFile(
        variables, File("nobg.xml", "<SimBase.Document><SimGauge.Gauge><Image Name=\"none.bmp\"/>"
                                    "</SimGauge.Gauge></SimBase.Document>")));
    EXPECT_FALSE(renderer.LoadFromFile(variables, File("nobg2.xml", "<Gauge><Element/></Gauge>")));
    EXPECT_FALSE(renderer.LoadFromFile(variables, folder_ / "missing.xml"));
    EXPECT_FALSE(renderer.LoadFromFile(variables, File("bad.xml", "<Gauge><Image>")));
    EXPECT_FALSE(renderer.LoadFromFile(variables, File("panel.xml", "<Panel><Image Name=\"bg.bmp\"/></Panel>")));
    EXPECT_FALSE(renderer.Background().IsLoaded());
    EXPECT_EQ(Trace(), "\r\n------\r\n  Unable to Read Gauge File\r\n  Unable to Read Gauge File\r\n"
                       "  Invalid Node Parsing Gauge File\r\n");
}

// The frame's values of one element, from scripts and tables.
TEST_F(GaugeRenderer, AnglesShiftsAndVisibility) {
    CGaugeVariables variables;
    auto element = [&] { return CGaugeElement(&variables, 10, 10); };
    {
        CGaugeElement e = element();
        e.SetVisible(L"1 10 /");  // exactly the float 0.1: hidden
        EXPECT_FALSE(e.IsVisible());
        e.SetVisible(L"11 100 /");
        EXPECT_TRUE(e.IsVisible());
        e.SetVisible(L"0 0 /");  // not a number: hidden
        EXPECT_FALSE(e.IsVisible());
    }
    struct Case {
        const char* what;
        const wchar_t* script;
        std::vector<std::array<float, 2>> angles;  // value, degrees
        float expected;
    };
    const Case cases[] = {
        {"pi 2 / without a table: a quarter turn clockwise", L"pi 2 /", {}, 270.0f},
        {"a whole turn back", L"pi 2 * /-/", {}, 360.0f},
        {"350 and 10 for 0 and 10, value 5", L"5", {{0, 350}, {10, 10}}, 90.0f},
        {"one entry is no table", L"pi", {{0, 350}}, 180.0f},
        {"below the table: along first and last", L"0", {{10, 0}, {20, 90}, {30, 100}}, 140.0f},
        {"between the second and third", L"25", {{10, 0}, {20, 90}, {30, 100}}, 355.0f},
    };
    for (const Case& c : cases) {
        CGaugeElement e = element();
        e.SetRotate(c.script, false, 0, false, 0);
        for (const auto& [value, degrees] : c.angles) e.AddNonlinearityAngle(value, degrees);
        EXPECT_FLOAT_EQ(e.RotationAngle(), c.expected) << c.what;
    }
    {
        CGaugeElement e = element();
        e.SetRotate(L"1000000000", false, 0, false, 0);  // wrapped, not looped over for ever
        EXPECT_GE(e.RotationAngle(), 0.0f);
        EXPECT_LE(e.RotationAngle(), 360.0f);
        e.SetRotate(L"0 0 /", false, 0, false, 0);
        EXPECT_TRUE(std::isnan(e.RotationAngle()));
        e.SetRotate(L"5", true, 0, true, 1);  // held at the maximum: 1 radian
        EXPECT_FLOAT_EQ(e.RotationAngle(), 302.704224f);
    }
    {
        // Shifts: scale without a table; the table below its first value
        // extrapolates along the first and last points, not the first two.
        CGaugeElement e = element();
        float sx, sy;
        e.ShiftOffsets(sx, sy);
        EXPECT_EQ(sx, 0.0f);
        e.SetShift(L"4", false, 0, true, 3);
        e.SetShiftScale(2.5f, -1.0f);
        e.ShiftOffsets(sx, sy);
        EXPECT_EQ(sx, 7.5f);
        EXPECT_EQ(sy, -3.0f);
        e.SetShift(L"0", false, 0, false, 0);
        e.AddNonlinearityXY(10, 0, 0);
        e.AddNonlinearityXY(20, 10, 5);
        e.AddNonlinearityXY(30, 40, 8);
        e.ShiftOffsets(sx, sy);
        EXPECT_EQ(sx, -20.0f);
        EXPECT_EQ(sy, -4.0f);
    }
    // The test gauge's needle at 0 knots, a little right of straight up from
    // (73, 76): a point of its table a fraction off shows here before it
    // shows in a golden. Its hold at 260 knots is pinned by the 300-knot one.
    CGaugeRenderer renderer(&pageId_);
    renderer.LoadDebugGauge(variables, TestGaugeFolder());
    ASSERT_EQ(renderer.Elements().size(), 4u);
    EXPECT_NEAR(renderer.Elements()[2]->RotationAngle(), 89.7019f, 0.0005f);
}

// Knobs and soft buttons: scripts, events and the first button of an id.
TEST_F(GaugeRenderer, KnobsAndButtons) {
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId_);
    renderer.LoadDebugGauge(variables, TestGaugeFolder());
    for (int i = 0; i < 31; ++i) renderer.OnKnob(0, false, pageId_, variables);
    EXPECT_EQ(variables.Get(L'G', L"Var1", L""), 30.0f);
    for (int i = 0; i < 59; ++i) renderer.OnKnob(0, true, pageId_, variables);
    EXPECT_EQ(variables.Get(L'G', L"Var1", L""), -29.0f);
    renderer.OnKnob(1, true, pageId_, variables);  // one mouse area: no second knob
    renderer.OnKnob(1, false, pageId_, variables);
    renderer.OnKnob(-1, false, pageId_, variables);
    EXPECT_EQ(variables.Get(L'G', L"Var1", L""), -29.0f);
    EXPECT_TRUE(g_calls.empty());

    // A side with an event sends it (in the group given) and runs no script.
    CGaugeRenderer file(&pageId_);
    file.LoadFromFile(variables, File("knob.xml", R"(<Gauge><Image Name="bg.bmp"/><Mouse><Area>
        <Area><Cursor Type="UpArrow"/><Click Event="AP_ALT_VAR_INC">6 (&gt;L:Hit)</Click></Area>
      </Area></Mouse></Gauge>)"));
    ASSERT_EQ(file.KnobActions().size(), 1u);
    const std::uint32_t altInc = file.KnobActions()[0].eventA;
    g_calls.clear();
    file.OnKnob(0, true, 9, variables);
    EXPECT_EQ(g_calls, std::vector<std::string>{"Transmit(0, " + std::to_string(altInc) + ", 0, 9, 0)"});
    EXPECT_EQ(variables.Get(L'L', L"Hit", L""), 0.0f);

    // Buttons: the first of two with id 3 wins; one whose event did not map
    // still lights its LED but sends nothing, and says so in the trace.
    g_calls.clear();
    renderer.AddButton(3, L"NAV", L"NAV1_RADIO_SWAP", 400, 0xFFFFFF);
    renderer.AddButton(3, L"COM", L"COM_STBY_RADIO_SWAP", 700, 0x00FF00);
    renderer.AddButton(5, L"BAD", L"NO_SUCH_EVENT", 400, 0xFFFFFF);
    ASSERT_EQ(renderer.Buttons().size(), 2u);
    EXPECT_EQ(renderer.Buttons()[0].label, L"NAV");
    const std::uint32_t swap = renderer.Buttons()[0].eventId;
    EXPECT_EQ(renderer.Buttons()[1].eventId, 0u);
    EXPECT_TRUE(renderer.HasButton(3));
    EXPECT_TRUE(renderer.HasButton(5));
    EXPECT_FALSE(renderer.HasButton(4));
    g_calls.clear();
    renderer.OnSoftButton(3);
    renderer.OnSoftButton(5);
    renderer.OnSoftButton(4);
    EXPECT_EQ(g_calls, std::vector<std::string>{"Transmit(0, " + std::to_string(swap) + ", 0, 7, 0)"});
    EXPECT_NE(Trace().find("  CGaugeRenderer::OnSoftButton - no client event\r\n"), std::string::npos);
}

// Frames: a golden holds the frame from the gauge's left edge to the right;
// the label strip is checked apart.
const char kSmallGauge[] = R"(<Gauge Name="Small">
  <Image Name="bg.bmp" ImageSizes="40,30,80,60"/>
  <Element><MaskImage Name="bg.bmp"><Axis X="5" Y="0"/></MaskImage>
    <Image Name="tape.bmp"><Axis X="-5" Y="-6"/></Image>
    <Shift><Value>(L:Tape)</Value><Scale X="1" Y="0"/></Shift></Element>
  <Element><Position X="10" Y="7.5"/><Image Name="needle.bmp"><Axis X="0" Y="0.75"/></Image>
    <Rotate><Value>(L:Angle) dgrd</Value></Rotate></Element>
  <Element><Position X="1" Y="1"/><Visible>(L:Show)</Visible><Image Name="dot.bmp"/>
    <Shift><Value>(L:Tape)</Value><Scale X="0.5" Y="0.5"/></Shift></Element>
  <Element><Position X="15" Y="1"/><Visible>(L:Show) 0 ==</Visible><Image Name="dot.bmp"/></Element>
  <Element><Position X="6" Y="2"/><Image Name="blue.bmp" Alpha="Yes"/></Element>
  <Element><MaskImage Name="missing.bmp"/><Image Name="blue.bmp"/></Element>
  <Element><Position X="1e30" Y="nan"/><Image Name="dot.bmp"/>
    <Shift><Value>1 0 /</Value></Shift></Element>
</Gauge>)";

const char kSmallSimGauge[] = R"(<SimBase.Document><SimGauge.Gauge>
  <Image Name="bg.bmp"/>
  <Element><MaskImage Name="bg.bmp"><Axis>10,0</Axis></MaskImage>
    <Image Name="tape.bmp"><Axis>-10,-12</Axis></Image>
    <Shift><Scale>1,0</Scale><Expression><Script>(L:Tape)</Script></Expression></Shift></Element>
  <Element><FloatPosition>20,15</FloatPosition><Image Name="needle.bmp"><Axis>0,1.5</Axis></Image>
    <Rotation><Expression><Maximum>0.5</Maximum><Script>(L:Angle) dgrd</Script></Expression></Rotation></Element>
  <Element><MaskImage Name="bg.bmp"><Axis>20,15</Axis></MaskImage><Image Name="needle.bmp"><Axis>6,1.5</Axis></Image>
    <Rotation><Expression><Script>(L:Angle) dgrd /-/</Script></Expression></Rotation></Element>
</SimGauge.Gauge></SimBase.Document>)";

// The test gauge at a few airspeeds and knob positions, and the small gauges
// in both vocabularies.
TEST_F(GaugeRenderer, FramesMatchTheirGoldens) {
    struct Case {
        const char* name;
        const char* file;  // null: the test gauge
        float knots;
        int downs;
        int drawWidth;
    };
    const Case cases[] = {
        {"test_gauge_0kt", nullptr, 0.0f, 0, 153},
        {"test_gauge_120kt_down10", nullptr, 120.0f, 10, 153},
        {"test_gauge_300kt_up30", nullptr, 300.0f, -30, 153},
        {"test_gauge_45kt_down25", nullptr, 45.0f, 25, 153},
        {"small_gauge", kSmallGauge, 0.0f, 0, 80},
        {"small_simgauge", kSmallSimGauge, 0.0f, 0, 40},
    };
    for (const Case& c : cases) {
        CGaugeVariables variables;
        CGaugeRenderer renderer(&pageId_);
        if (c.file == nullptr) {
            renderer.LoadDebugGauge(variables, TestGaugeFolder());
            ASSERT_TRUE(renderer.Background().IsLoaded());
        } else {
            ASSERT_TRUE(renderer.LoadFromFile(variables, File("small.xml", c.file))) << c.name;
        }
        variables.Set(L'A', L"Airspeed select indicated or true", L"knots", c.knots);
        for (int i = 0; i < std::abs(c.downs); ++i) renderer.OnKnob(0, c.downs < 0, pageId_, variables);
        variables.Set(L'L', L"Tape", L"", 7.0f);
        variables.Set(L'L', L"Angle", L"", 60.0f);
        variables.Set(L'L', L"Show", L"", 1.0f);
        Frame frame;
        renderer.Render(frame.view);
        EXPECT_EQ(gaugetest::CompareGolden(c.name, gaugetest::Crop(frame, 320 - c.drawWidth)), "") << c.name;
        // Left of the gauge nothing is drawn without buttons.
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320 - c.drawWidth; ++x) ASSERT_EQ(frame.At(x, y), 0x203040u) << x << "," << y;
        }
    }
}

// What the goldens cannot show: a mask's black is transparent on the frame
// (its bar, moved up by 20, leaves the background's grey), black in a
// background is drawn, and a failed mask draws none of its image.
TEST_F(GaugeRenderer, MaskBlackAndFailedMasks) {
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId_);
    ASSERT_TRUE(renderer.LoadFromFile(variables, File("place.xml", R"(<Gauge>
      <Image Name="bg.bmp"/>
      <Element><Position X="0" Y="-20"/><MaskImage Name="bg.bmp"/></Element>
      <Element><MaskImage Name="missing.bmp"/><Image Name="blue.bmp"/></Element>
    </Gauge>)")));
    Frame frame(0x123456);
    renderer.Render(frame.view);
    // Origin (280, 105); the background's black bar is at y = 28.
    EXPECT_EQ(frame.At(300, 105 + 8), 0x505050u);
    EXPECT_EQ(frame.At(300, 105 + 28), 0x000000u);
    for (int y = 105; y < 135; ++y) {
        for (int x = 280; x < 320; ++x) ASSERT_NE(frame.At(x, y), 0x0000FFu) << x << "," << y;
    }
}

// Labels: each in its 40-pixel row of the strip left of the gauge, in the
// button's colour; nothing else in the strip changes.
TEST_F(GaugeRenderer, LabelsStayInTheirRows) {
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId_);
    renderer.LoadDebugGauge(variables, TestGaugeFolder());
    renderer.AddButton(2, L"NAV 1", L"E", 400, 0x0000FF);   // red
    renderer.AddButton(6, L"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW", L"E", 700, 0x00FF00);  // green, too long
    renderer.AddButton(7, L"SEVEN", L"E", 400, 0xFF0000);  // no row
    Frame frame;
    renderer.Render(frame.view);
    int red = 0, green = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320 - 153; ++x) {
            const RasterPixel p = frame.At(x, y);
            if (p == 0x203040u) continue;
            if (p == 0xFF0000u && y >= 40 && y < 80 && x >= 2) {
                ++red;
            } else if (p == 0x00FF00u && y >= 200 && x >= 2) {
                ++green;
            } else {
                ADD_FAILURE() << "pixel " << std::hex << p << " at " << std::dec << x << "," << y;
                return;
            }
        }
    }
    EXPECT_GT(red, 40);
    EXPECT_GT(green, 400);
    // A second frame draws the same labels from what the first one kept.
    Frame again;
    renderer.Render(again.view);
    EXPECT_EQ(again.bytes, frame.bytes);
}

// Nonsense in a file or a script draws what it can and never writes or
// reads outside a bitmap (the sanitizers watch).
TEST_F(GaugeRenderer, HostileValuesAreClippedOrSkipped) {
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId_);
    ASSERT_TRUE(renderer.LoadFromFile(variables, File("hostile.xml", R"(<Gauge>
      <Image Name="bg.bmp"/>
      <Element><Position X="-1e30" Y="inf"/><MaskImage Name="bg.bmp"><Axis X="nan" Y="-3e9"/></MaskImage>
        <Image Name="tape.bmp"><Axis X="1e38" Y="-1e38"/></Image><Shift><Value>1 0 /</Value></Shift></Element>
      <Element><Image Name="needle.bmp"><Axis X="-1e20" Y="1e20"/></Image><Rotate><Value>0 0 /</Value></Rotate></Element>
      <Element><MaskImage Name="bg.bmp"><Axis X="-7" Y="-9"/></MaskImage><Image Name="tape.bmp"/><Shift><Value>99999999999</Value></Shift></Element>
      <Element><MaskImage Name="bg.bmp"><Axis X="3" Y="50"/></MaskImage><Image Name="tape.bmp"/><Shift><Value>-5</Value></Shift></Element>
      <Element><Image Name="needle.bmp"/><Shift><Value>(L:S)</Value><Scale X="3e38" Y="3e38"/></Shift></Element>
      <Element><Position X="2147483647" Y="-2147483648"/><Image Name="needle.bmp"><Axis X="3e9" Y="-3e9"/></Image>
        <Rotate><Value>1</Value></Rotate></Element>
      <Element><Image Name="needle.bmp"><Nonlinearity><Item Value="1" X="0" Y="0"/><Item Value="1" X="5" Y="5"/></Nonlinearity></Image>
        <Shift><Value>1</Value></Shift><Rotate><Value>1</Value></Rotate></Element>
    </Gauge>)")));
    variables.Set(L'L', L"S", L"", 1e30f);
    Frame frame;
    renderer.Render(frame.view);
    // Whatever the elements drew, they drew it within the gauge's rectangle.
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            if (x >= 280 && y >= 105 && y < 135) continue;
            ASSERT_EQ(frame.At(x, y), 0x203040u) << x << "," << y;
        }
    }
    // A draw size of INT_MIN puts the gauge far to the right: nothing lands.
    CGaugeRenderer far(&pageId_);
    far.LoadFromFile(variables, File("far.xml", R"(<Gauge><Image Name="bg.bmp" ImageSizes="1,1,-2147483648,-2147483648"/>
      <Element><Image Name="tape.bmp"/></Element></Gauge>)"));
    Frame farFrame;
    far.Render(farFrame.view);
    EXPECT_EQ(farFrame.bytes, Frame().bytes);
}

// The page's threads: frames drawn on one while knob presses and data
// blocks arrive on others; the presses all land and nothing races (TSan).
TEST_F(GaugeRenderer, FramesWhileKnobsTurnAndDataArrives) {
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId_);
    renderer.LoadDebugGauge(variables, TestGaugeFolder());
    renderer.AddButton(1, L"NAV", L"NAV1_RADIO_SWAP", 400, 0xFFFFFF);
    std::thread presses([&] {
        for (int i = 0; i < 25; ++i) renderer.OnKnob(0, false, pageId_, variables);
        for (int i = 0; i < 3; ++i) renderer.OnSoftButton(1);
    });
    std::thread data([&] {
        for (int i = 0; i < 50; ++i) {
            const float block[] = {float(i)};
            variables.OnReceiveData(block, sizeof block);
        }
    });
    Frame frame;
    for (int i = 0; i < 20; ++i) {
        variables.Commit();
        renderer.Render(frame.view);
    }
    presses.join();
    data.join();
    EXPECT_EQ(variables.Get(L'G', L"Var1", L""), 25.0f);
}

}  // namespace
