#include "plugins/aviaro/gauge/gauge_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "tests/host/scoped_registry_file.h"
#include "tools/lumiray_standin/png_writer.h"

namespace {

namespace fs = std::filesystem;
using simconnect::DWord;

// What the recording SimConnect saw; it refuses to map NO_SUCH_EVENT.
std::vector<std::string> g_calls;
template <typename... T>
void Record(const char* what, T... values) {
    std::ostringstream line;
    line << what;
    ((line << ' ' << values), ...);
    g_calls.push_back(line.str());
}
HRESULT AV_STDCALL RecordMap(av::Handle, DWord id, const char* name) {
    Record("Map", name, id);
    return std::string(name) == "NO_SUCH_EVENT" ? E_NOTIMPL : S_OK;
}
HRESULT AV_STDCALL RecordGroup(av::Handle, DWord group, DWord id, int) { return Record("Group", group, id), S_OK; }
HRESULT AV_STDCALL RecordTransmit(av::Handle, DWord object, DWord id, DWord data, DWord group, DWord flags) {
    return Record("Transmit", object, id, data, group, flags), S_OK;
}
HRESULT AV_STDCALL AcceptDefinition(av::Handle, DWord, const char*, const char*, DWord, float, DWord) { return S_OK; }

// A 24-bit bottom-up .bmp of w × h pixels (0x00RRGGBB, top row first).
void WriteBmp(const fs::path& path, int w, int h, const std::vector<RasterPixel>& pixels) {
    const int stride = (w * 3 + 3) & ~3;
    std::vector<std::uint8_t> b(54 + std::size_t(stride) * h, 0);
    auto put = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M', b[26] = 1, b[28] = 24;
    put(2, std::uint32_t(b.size())), put(10, 54), put(14, 40), put(18, std::uint32_t(w)), put(22, std::uint32_t(h));
    for (int i = 0; i < w * h; ++i) {
        std::uint8_t* p = b.data() + 54 + std::size_t(h - 1 - i / w) * stride + 3 * (i % w);
        p[0] = std::uint8_t(pixels[i]), p[1] = std::uint8_t(pixels[i] >> 8), p[2] = std::uint8_t(pixels[i] >> 16);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

template <typename... T>
std::string Format(const char* format, T... values) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, values...);
    return buf;
}

// A 320 × 240 frame of 3-byte pixels, filled with one colour.
struct Frame {
    std::vector<std::uint8_t> bytes;
    RasterView view;
    explicit Frame(RasterPixel fill = 0x203040) : bytes(320 * 240 * 3) {
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(fill >> (8 * (i % 3)));
        view = RasterView{bytes.data(), 320, 240, 320 * 3, 3};
    }
    RasterPixel At(int x, int y) const {
        const std::uint8_t* p = bytes.data() + (std::size_t(y) * 320 + x) * 3;
        return (RasterPixel(p[2]) << 16) | (p[1] << 8) | p[0];
    }
    // "" when nothing outside [left, 320) × [top, bottom) differs from the fill, else the first such pixel.
    std::string OnlyInside(int left, int top = 0, int bottom = 240, RasterPixel fill = 0x203040) const {
        for (int i = 0; i < 320 * 240; ++i) {
            const int x = i % 320, y = i / 320;
            if ((x < left || y < top || y >= bottom) && At(x, y) != fill) return Format("%d,%d", x, y);
        }
        return "";
    }
};

// The frame from column left on against golden/NAME.png, copied beside the
// test binary at build time. AV_UPDATE_GOLDEN set: the native binary writes
// the source tree's golden instead. EncodePng is deterministic, so equal
// pixels give equal bytes.
std::string CompareGolden(const std::string& name, const Frame& frame, int left) {
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < 320 * 240; ++i) {
        const RasterPixel c = frame.At(i % 320, i / 320);
        if (i % 320 >= left) rgb.insert(rgb.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
    }
    const std::vector<std::uint8_t> png = standin::EncodePng(std::uint32_t(320 - left), 240, rgb);
    const fs::path here(av::platform::GetExecutableFolder());
#if defined(AV_GOLDEN_SOURCE)
    const bool update = std::getenv("AV_UPDATE_GOLDEN") != nullptr;
    const fs::path out = update ? fs::path(AV_GOLDEN_SOURCE) / (name + ".png") : here / (name + ".actual.png");
#else
    const bool update = false;
    const fs::path out = here / (name + ".actual.png");
#endif
    std::ifstream in(here / "golden" / (name + ".png"), std::ios::binary);
    if (!update && png == std::vector<std::uint8_t>{std::istreambuf_iterator<char>(in), {}}) return "";
    std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    if (update) return "";
    return "golden/" + name + ".png differs or is missing; written: " + out.string();
}

// The model a file loaded into, one element or knob a line.
std::string Describe(const CGaugeRenderer& r) {
    std::string out;
    auto value = [&](const char* what, const CGaugeValue& v) {
        if (v.has) out += std::string(" ") + what + "=" + av::platform::ToUtf8(v.text);
        if (v.has && v.hasMinimum) out += Format(" min %g", double(v.minimum));
        if (v.has && v.hasMaximum) out += Format(" max %g", double(v.maximum));
    };
    auto image = [&](const char* what, const CGaugeImage& i) {
        out += Format(" %s %g,%g%s", what, double(i.AxisX()), double(i.AxisY()), i.Alpha() ? " alpha" : "");
    };
    for (const auto& e : r.Elements()) {
        out += Format("@%d,%d", e->PositionX(), e->PositionY());
        value("vis", e->Visibility());
        if (e->HasMask()) image("mask", e->Mask());
        if (e->HasImage()) image("image", e->Image());
        value("shift", e->Shift());
        if (e->Shift().has) out += Format(" scale %g,%g", double(e->ShiftScaleX()), double(e->ShiftScaleY()));
        value("rotate", e->Rotation());
        for (const CNonlinearityEntry& n : e->Nonlinearity()) {
            out += Format(" [%g: %g,%g %g]", double(n.value), double(n.x), double(n.y), double(n.angle));
        }
        out += "\n";
    }
    for (const CKnobAction& k : r.KnobActions()) {
        out += "knob A " + (k.eventA != 0 ? "event" : av::platform::ToUtf8(k.scriptA)) + ", B " +
               (k.eventB != 0 ? "event" : av::platform::ToUtf8(k.scriptB)) + "\n";
    }
    return out;
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
        fs::create_directories(folder_ / "1024");
        CTraceLog::Instance().Open((folder_ / "trace.log").wstring());
        // The background: grey, a window of RGB(1,1,1) at (10..29, 10..19), a black bar at y = 28.
        std::vector<RasterPixel> bg(40 * 30, 0x505050), tape(60 * 6), needle(12 * 3, 0xE02020);
        for (int i = 0; i < 40 * 30; ++i) {
            if (i / 40 == 28) bg[i] = 0;
            if (i / 40 >= 10 && i / 40 < 20 && i % 40 >= 10 && i % 40 < 30) bg[i] = 0x010101;
        }
        for (int i = 0; i < 60 * 6; ++i) tape[i] = RasterPixel(((i % 60) * 4) << 16 | 0x3000 | (i / 60) * 40);
        needle[12 + 11] = needle[12 + 10] = 0xFFFF00;
        needle[0] = needle[2 * 12] = 0;  // black corners: transparent
        for (const fs::path& dir : {folder_, folder_ / "1024"}) {
            WriteBmp(dir / "bg.bmp", 40, 30, bg);
            WriteBmp(dir / "tape.bmp", 60, 6, tape);
            WriteBmp(dir / "needle.bmp", 12, 3, needle);
            WriteBmp(dir / "dot.bmp", 3, 3, std::vector<RasterPixel>(9, 0xFFFFFF));
            WriteBmp(dir / "blue.bmp", 5, 5, std::vector<RasterPixel>(25, 0x0000FF));
        }
    }
    void TearDown() override {
        CTraceLog::Instance().Close();
        CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::wstring File(const std::string& name, const std::string& text) {
        std::ofstream(folder_ / name, std::ios::binary) << text;
        return (folder_ / name).wstring();
    }
    std::string Trace() {
        CTraceLog::Instance().Close();
        std::ifstream in(folder_ / "trace.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void LoadTestGauge(CGaugeRenderer& r, CGaugeVariables& v) {
        r.LoadDebugGauge(v, (fs::path(av::platform::GetExecutableFolder()) / "1024").wstring());
    }

    const fs::path folder_ = fs::temp_directory_path() / ("gauge_test_" + std::to_string(std::random_device{}()));
    const std::uint32_t pageId_ = 7;
    CGaugeVariables variables_;
};

// Both vocabularies into the model: names in any case, ImageSizes scaling
// positions, axes, scales and table points (not an element read before the
// background), a second Value winning, the mouse areas' sides, a Cursor
// without Type stopping the Gauge vocabulary's areas, a refused event.
TEST_F(GaugeRenderer, ReadsBothVocabularies) {
    struct Case {
        const char* file;
        const wchar_t* folder;  // the images' folder under the scratch folder
        const char* name;
        std::string model;
    };
    const Case cases[] = {
        {R"(<?xml version="1.0"?><GAUGE Name="Airspeed Test">
  <Element><Position X="1" Y="2"/></Element>
  <image Name="bg.bmp" ImageSizes="153,153,192,192"/>
  <Comment>drawn by hand</Comment>
  <element><POSITION X="153" Y="76.5"/><Visible>(L:Show)</Visible>
    <MaskImage Name="bg.bmp"><Axis X="10" Y="-51"/></MaskImage>
    <Image Name="blue.bmp" Alpha="Yes"><Axis X="30.6"/>
      <Nonlinearity><Item Value="5" X="153" Y="0"/><Item Value="9" Degrees="45.5"/></Nonlinearity></Image>
    <Shift><Value Minimum="-3">(L:First)</Value><Value Maximum="12.5">(A:Second thing,feet)</Value><Scale X="1"/></Shift>
    <Rotate><Value Minimum="0" Maximum="1">(L:Turn)</Value></Rotate></element>
  <Mouse>
    <Area><Area><Cursor Type="UpArrow"/><Click Event="HEADING_BUG_INC"/></Area>
      <Area><Cursor Type="DownArrow"/><Click>(L:K) 1 - (&gt;L:K)</Click></Area></Area>
    <Area><Area><Cursor/><Click>1</Click></Area></Area>
    <Area><Area><Click>2</Click></Area></Area>
  </Mouse></GAUGE>)",
         L"\\1024", "Airspeed Test",
         "@1,2\n"
         "@192,96 vis=(L:Show) mask 12.549,-64 image 38.4,0 alpha shift=(A:Second thing,feet) max 12.5 "
         "scale 1.2549,0 rotate=(L:Turn) min 0 max 1 [5: 192,0 0] [9: 0,0 45.5]\n"
         "knob A event, B (L:K) 1 - (>L:K)\n"},
        {R"(<SimBase.Document Type="AceXML" version="1,0"><SimGauge.Gauge id="Gauge">
    <FloatPosition>7,7</FloatPosition><Image id="Image" Name="bg.bmp"/>
    <Element><FloatPosition>10.9, -20.9</FloatPosition><Visibility>(L:On)</Visibility>
      <MaskImage Name="bg.bmp"><Axis>3.5,  4</Axis></MaskImage><Image Name="needle.bmp"><Axis>5</Axis></Image>
      <Shift><Scale>2,3</Scale><Expression><Minimum>-1</Minimum><Script>(A:Pitch,degrees)</Script></Expression></Shift>
      <Rotation><Expression><Maximum>0.5</Maximum><Script>(L:Turn)</Script></Expression></Rotation></Element>
    <MouseArea>
      <MouseArea>
        <MouseArea><CursorType>DownArrow</CursorType><MouseClick><KeyEvent>NO_SUCH_EVENT</KeyEvent></MouseClick></MouseArea>
        <MouseArea><CursorType>UpArrow</CursorType><MouseClick><Script>(L:A) ++ (&gt;L:A)</Script></MouseClick></MouseArea>
      </MouseArea>
      <MouseArea><MouseArea><MouseClick><Script>3</Script></MouseClick></MouseArea></MouseArea>
    </MouseArea></SimGauge.Gauge></SimBase.Document>)",
         L"", "",
         "@10,-20 vis=(L:On) mask 3.5,4 image 5,0 shift=(A:Pitch,degrees) min -1 scale 2,3 rotate=(L:Turn) max 0.5\n"
         "knob A (L:A) ++ (>L:A), B \nknob A , B 3\n"},
    };
    const std::string next = std::to_string(CSimConnectLibrary::Instance().NextEventId() + 1);
    for (const Case& c : cases) {
        CGaugeVariables variables;
        CGaugeRenderer renderer(&pageId_);
        EXPECT_TRUE(renderer.LoadFromFile(variables, File("gauge.xml", c.file)));
        EXPECT_EQ(renderer.ImageFolder(), folder_.wstring() + c.folder);
        EXPECT_EQ(av::platform::ToUtf8(renderer.GetGaugeName()), c.name);
        EXPECT_EQ(variables.Count(), 1);  // the shift's simulator variable, not the visibility's
        EXPECT_EQ(Describe(renderer), c.model);
    }
    EXPECT_EQ(g_calls, (std::vector<std::string>{"Map HEADING_BUG_INC " + next, "Group 7 " + next,
                                                 "Map NO_SUCH_EVENT " + std::to_string(std::stoul(next) + 1)}));
    EXPECT_NE(Trace().find("  CGaugeRenderer::LoadFromFile - skipped Comment\r\n"), std::string::npos);
}

// Design width and height, draw width and height; without a field the draw
// size is the background's, 40 × 30.
TEST_F(GaugeRenderer, ImageSizesAreTakenApartFromTheRight) {
    const std::pair<const char*, std::vector<int>> cases[] = {
        {"10, 20,\t30,\n 40", {10, 20, 30, 40}},
        {"7,9", {7, 0, 40, 9}},
        {"5", {5, 0, 40, 30}},
        {"1,2,3,4,5", {1, 3, 4, 5}},  // what remains, "1,2", reads as 1
        {"-4,x,3,99999999999", {-4, 0, 3, 2147483647}},
    };
    for (const auto& [sizes, expected] : cases) {
        CGaugeRenderer r(&pageId_);
        const char* format = "<Gauge><Image Name=\"bg.bmp\" ImageSizes=\"%s\"/></Gauge>";
        r.LoadFromFile(variables_, File("sizes.xml", Format(format, sizes)));
        EXPECT_EQ(std::vector<int>({r.DesignWidth(), r.DesignHeight(), r.DrawWidth(), r.DrawHeight()}), expected)
            << sizes;
    }
}

// These, and a file without a background, leave the page to add the test gauge.
TEST_F(GaugeRenderer, UnreadableAndForeignFilesAreTraced) {
    CGaugeRenderer renderer(&pageId_);
    const char* const texts[] = {
        "<SimBase.Document><SimGauge.Gauge><Image Name=\"none.bmp\"/></SimGauge.Gauge></SimBase.Document>",
        "<Gauge><Element/></Gauge>", nullptr, "<Gauge><Image>", "<Panel><Image Name=\"bg.bmp\"/></Panel>"};
    for (const char* text : texts) {
        const std::wstring path = text != nullptr ? File("bad.xml", text) : (folder_ / "missing.xml").wstring();
        EXPECT_FALSE(renderer.LoadFromFile(variables_, path));
    }
    EXPECT_FALSE(renderer.Background().IsLoaded());
    EXPECT_EQ(Trace(), "\r\n------\r\n  Unable to Read Gauge File\r\n  Unable to Read Gauge File\r\n"
                       "  Invalid Node Parsing Gauge File\r\n");
}

// An element's values from scripts and tables, at their edges.
TEST_F(GaugeRenderer, AnglesShiftsAndVisibility) {
    for (const auto& [script, visible] : {std::pair{L"1 10 /", false}, {L"11 100 /", true}, {L"0 0 /", false}}) {
        CGaugeElement e(&variables_, 10, 10);
        e.SetVisible(script);  // exactly the float 0.1 is hidden, as is not a number
        EXPECT_EQ(e.IsVisible(), visible) << av::platform::ToUtf8(script);
    }
    struct Case {
        const char* what;
        const wchar_t* script;
        bool held;  // between 0 and 1
        std::vector<std::pair<float, float>> angles;  // value, degrees
        float expected;
    };
    const Case cases[] = {
        {"pi 2 / without a table: a quarter turn clockwise", L"pi 2 /", false, {}, 270.0f},
        {"a whole turn back stays 360", L"pi 2 * /-/", false, {}, 360.0f},
        {"held at its maximum, 1 radian", L"5", true, {}, 302.704224f},
        {"brought near, not looped over for ever", L"1000000000", false, {}, 248.0f},
        {"350 and 10 for 0 and 10, value 5", L"5", false, {{0, 350}, {10, 10}}, 90.0f},
        {"one entry is no table", L"pi", false, {{0, 350}}, 180.0f},
        {"below the table: along first and last", L"0", false, {{10, 0}, {20, 90}, {30, 100}}, 140.0f},
        {"between the second and third", L"25", false, {{10, 0}, {20, 90}, {30, 100}}, 355.0f},
    };
    for (const Case& c : cases) {
        CGaugeElement e(&variables_, 10, 10);
        e.SetRotate(c.script, c.held, 0, c.held, 1);
        for (const auto& [value, degrees] : c.angles) e.AddNonlinearityAngle(value, degrees);
        EXPECT_FLOAT_EQ(e.RotationAngle(), c.expected) << c.what;
    }
    CGaugeElement e(&variables_, 10, 10);
    e.SetRotate(L"0 0 /", false, 0, false, 0);
    EXPECT_TRUE(std::isnan(e.RotationAngle()));
    // Shifts: held and scaled without a table; below a table's first value
    // along its first and last points, not its first two.
    float sx, sy;
    e.SetShift(L"4", false, 0, true, 3);
    e.SetShiftScale(2.5f, -1.0f);
    e.ShiftOffsets(sx, sy);
    EXPECT_EQ(std::make_pair(sx, sy), std::make_pair(7.5f, -3.0f));
    e.SetShift(L"0", false, 0, false, 0);
    e.AddNonlinearityXY(10, 0, 0);
    e.AddNonlinearityXY(20, 10, 5);
    e.AddNonlinearityXY(30, 40, 8);
    e.ShiftOffsets(sx, sy);
    EXPECT_EQ(std::make_pair(sx, sy), std::make_pair(-20.0f, -4.0f));
    // The test gauge's needle at 0 knots, a little right of straight up: a
    // point of its table a fraction off shows here before it shows in a golden.
    CGaugeRenderer renderer(&pageId_);
    LoadTestGauge(renderer, variables_);
    ASSERT_EQ(renderer.Elements().size(), 4u);
    EXPECT_NEAR(renderer.Elements()[2]->RotationAngle(), 89.7019f, 0.0005f);
}
// Knobs and soft buttons: scripts held at their ends, an event sent instead
// of a script, the first button of an id, an event that did not map. The 31
// presses come from another thread while frames are drawn and data blocks
// arrive, as on the page: they all land and nothing races (TSan).
TEST_F(GaugeRenderer, KnobsAndButtons) {
    CGaugeRenderer renderer(&pageId_), file(&pageId_);
    LoadTestGauge(renderer, variables_);
    const auto press = [&](int knob, bool up, int times) {
        for (int i = 0; i < times; ++i) renderer.OnKnob(knob, up, pageId_, variables_);
        return variables_.Get(L'G', L"Var1", L"");
    };
    renderer.AddButton(3, L"NAV", L"NAV1_RADIO_SWAP", 400, 0xFFFFFF);
    renderer.AddButton(3, L"COM", L"COM_STBY_RADIO_SWAP", 700, 0x00FF00);
    renderer.AddButton(5, L"BAD", L"NO_SUCH_EVENT", 400, 0xFFFFFF);
    std::thread presses([&] { press(0, false, 31), renderer.OnSoftButton(3); });
    std::thread data([&] {
        for (int i = 0; i < 50; ++i) {
            const float block[] = {float(i)};
            variables_.OnReceiveData(block, sizeof block);
        }
    });
    Frame frame;
    for (int i = 0; i < 20; ++i) variables_.Commit(), renderer.Render(frame.view);
    presses.join();
    data.join();
    EXPECT_EQ(press(0, false, 0), 30.0f);
    EXPECT_EQ(press(0, true, 61), -30.0f);
    EXPECT_EQ(press(1, false, 1) + press(-1, false, 1), -60.0f);  // one mouse area: no other knob
    file.LoadFromFile(variables_, File("knob.xml", R"(<Gauge><Image Name="bg.bmp"/><Mouse><Area>
        <Area><Cursor Type="UpArrow"/><Click Event="AP_ALT_VAR_INC">6 (&gt;L:Hit)</Click></Area></Area></Mouse></Gauge>)"));
    ASSERT_EQ(renderer.Buttons().size(), 2u);
    EXPECT_EQ(renderer.Buttons()[0].label, L"NAV");
    g_calls.clear();
    file.OnKnob(0, true, 9, variables_);
    for (int id : {3, 5, 4}) renderer.OnSoftButton(id);
    EXPECT_EQ(g_calls, (std::vector<std::string>{
                           "Transmit 0 " + std::to_string(file.KnobActions()[0].eventA) + " 0 9 0",
                           "Transmit 0 " + std::to_string(renderer.Buttons()[0].eventId) + " 0 7 0"}));
    EXPECT_EQ(variables_.Get(L'L', L"Hit", L""), 0.0f);
    EXPECT_NE(Trace().find("  CGaugeRenderer::OnSoftButton - no client event\r\n"), std::string::npos);
}

// The test gauge at a few airspeeds and knob positions, and small gauges in
// both vocabularies (scaling, masks, RGB(1,1,1) windows, alpha holes, a
// failed mask, hidden and shifted elements); nothing drawn left of the gauge.
TEST_F(GaugeRenderer, FramesMatchTheirGoldens) {
    const char* const smallGauge = R"(<Gauge Name="Small">
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
    const char* const smallSimGauge = R"(<SimBase.Document><SimGauge.Gauge>
  <Image Name="bg.bmp"/>
  <Element><MaskImage Name="bg.bmp"><Axis>10,0</Axis></MaskImage>
    <Image Name="tape.bmp"><Axis>-10,-12</Axis></Image>
    <Shift><Scale>1,0</Scale><Expression><Script>(L:Tape)</Script></Expression></Shift></Element>
  <Element><FloatPosition>20,15</FloatPosition><Image Name="needle.bmp"><Axis>0,1.5</Axis></Image>
    <Rotation><Expression><Maximum>0.5</Maximum><Script>(L:Angle) dgrd</Script></Expression></Rotation></Element>
  <Element><MaskImage Name="bg.bmp"><Axis>20,15</Axis></MaskImage><Image Name="needle.bmp"><Axis>6,1.5</Axis></Image>
    <Rotation><Expression><Script>(L:Angle) dgrd /-/</Script></Expression></Rotation></Element>
</SimGauge.Gauge></SimBase.Document>)";
    // Three times as wide and half as high again: every x (positions, axes,
    // the nonlinearity table's points, the shift's scale) takes the width's
    // ratio and every y the height's.
    const char* const stretchedGauge = R"(<Gauge Name="Stretched">
  <Image Name="bg.bmp" ImageSizes="40,30,120,45"/>
  <Element><Position X="2" Y="3"/><Image Name="dot.bmp"><Axis X="1" Y="2"/></Image>
    <Shift><Value>(L:Tape)</Value><Scale X="1" Y="0.5"/></Shift></Element>
  <Element><Position X="6" Y="12"/><Image Name="needle.bmp"><Axis X="0" Y="1"/>
    <Nonlinearity><Item Value="0" X="-4" Y="4"/><Item Value="10" X="4" Y="-4"/></Nonlinearity></Image>
    <Shift><Value>(L:Tape)</Value></Shift></Element>
  <Element><Position X="10" Y="16"/><Image Name="needle.bmp"><Axis X="2" Y="1"/></Image>
    <Rotate><Value>(L:Angle) dgrd</Value></Rotate></Element>
</Gauge>)";
    const std::tuple<const char*, const char*, float, int, int> cases[] = {
        // name, file (null: the test gauge), knots, knob presses (negative: up), draw width
        {"test_gauge_0kt", nullptr, 0.0f, 0, 153},
        {"test_gauge_120kt_down10", nullptr, 120.0f, 10, 153},
        {"test_gauge_300kt_up30", nullptr, 300.0f, -30, 153},
        {"test_gauge_45kt_down25", nullptr, 45.0f, 25, 153},
        {"small_gauge", smallGauge, 0.0f, 0, 80},
        {"small_simgauge", smallSimGauge, 0.0f, 0, 40},
        {"stretched_gauge", stretchedGauge, 0.0f, 0, 120},
    };
    for (const auto& [name, file, knots, downs, drawWidth] : cases) {
        CGaugeVariables variables;
        CGaugeRenderer renderer(&pageId_);
        if (file != nullptr) renderer.LoadFromFile(variables, File("small.xml", file));
        if (file == nullptr) LoadTestGauge(renderer, variables);
        ASSERT_TRUE(renderer.Background().IsLoaded()) << name;
        variables.Set(L'A', L"Airspeed select indicated or true", L"knots", knots);
        for (int i = 0; i < std::abs(downs); ++i) renderer.OnKnob(0, downs < 0, pageId_, variables);
        variables.Set(L'L', L"Tape", L"", 7.0f);
        variables.Set(L'L', L"Angle", L"", 60.0f);
        variables.Set(L'L', L"Show", L"", 1.0f);
        Frame frame;
        renderer.Render(frame.view);
        EXPECT_EQ(CompareGolden(name, frame, 320 - drawWidth), "") << name;
        EXPECT_EQ(frame.OnlyInside(320 - drawWidth), "") << name;
    }
}

// What the goldens cannot show: a mask's black is transparent on the frame
// (its bar, moved up by 20, leaves the background's grey), black in a
// background is drawn, and a failed mask draws none of its image.
TEST_F(GaugeRenderer, MaskBlackAndFailedMasks) {
    CGaugeRenderer renderer(&pageId_);
    ASSERT_TRUE(renderer.LoadFromFile(variables_, File("place.xml", R"(<Gauge><Image Name="bg.bmp"/>
      <Element><Position X="0" Y="-20"/><MaskImage Name="bg.bmp"/></Element>
      <Element><MaskImage Name="missing.bmp"/><Image Name="blue.bmp"/></Element></Gauge>)")));
    Frame frame(0x123456);
    renderer.Render(frame.view);
    // Origin (280, 105); the background's black bar is at y = 28.
    EXPECT_EQ(frame.At(300, 105 + 8), 0x505050u);
    EXPECT_EQ(frame.At(300, 105 + 28), 0x000000u);
    for (int i = 0; i < 40 * 30; ++i) ASSERT_NE(frame.At(280 + i % 40, 105 + i / 40), 0x0000FFu) << i;
}

// Labels: each in its 40-pixel row of the strip left of the gauge, in the
// button's colour, nothing else changed; a second frame draws the same.
TEST_F(GaugeRenderer, LabelsStayInTheirRows) {
    CGaugeRenderer renderer(&pageId_), bare(&pageId_);
    LoadTestGauge(renderer, variables_);
    LoadTestGauge(bare, variables_);
    renderer.AddButton(2, L"NAV 1", L"E", 400, 0x0000FF);  // red
    renderer.AddButton(6, L"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW", L"E", 700, 0x00FF00);  // green, too long
    renderer.AddButton(7, L"SEVEN", L"E", 400, 0xFF0000);  // no row
    Frame frame, without;
    renderer.Render(frame.view);
    bare.Render(without.view);
    int red = 0, green = 0, changed = 0;
    for (int i = 0; i < 320 * 240; ++i) {
        const int x = i % 320, y = i / 320;
        const RasterPixel p = frame.At(x, y);
        red += p == 0xFF0000u && y >= 40 && y < 80 && x >= 2 && x < 320 - 153;
        green += p == 0x00FF00u && y >= 200 && x >= 2 && x < 320 - 153;
        changed += p != without.At(x, y);
    }
    EXPECT_GT(red, 40);
    EXPECT_GT(green, 400);
    EXPECT_EQ(changed, red + green);
    renderer.Render(without.view);
    EXPECT_EQ(without.bytes, frame.bytes);
}

// Nonsense in a file or a script draws what it can and never writes or reads
// outside a bitmap (the sanitizers watch) or the gauge's rectangle.
TEST_F(GaugeRenderer, HostileValuesAreClippedOrSkipped) {
    CGaugeRenderer renderer(&pageId_), far(&pageId_);
    ASSERT_TRUE(renderer.LoadFromFile(variables_, File("hostile.xml", R"(<Gauge><Image Name="bg.bmp"/>
      <Element><Position X="-1e30" Y="inf"/><MaskImage Name="bg.bmp"><Axis X="nan" Y="-3e9"/></MaskImage>
        <Image Name="tape.bmp"><Axis X="1e38" Y="-1e38"/></Image><Shift><Value>1 0 /</Value></Shift></Element>
      <Element><Image Name="needle.bmp"><Axis X="-1e20" Y="1e20"/></Image><Rotate><Value>0 0 /</Value></Rotate></Element>
      <Element><MaskImage Name="bg.bmp"><Axis X="-7" Y="-9"/></MaskImage><Image Name="tape.bmp"/><Shift><Value>99999999999</Value></Shift></Element>
      <Element><MaskImage Name="bg.bmp"><Axis X="3" Y="50"/></MaskImage><Image Name="tape.bmp"/><Shift><Value>-5</Value></Shift></Element>
      <Element><Image Name="needle.bmp"/><Shift><Value>(L:S)</Value><Scale X="3e38" Y="3e38"/></Shift></Element>
      <Element><Position X="2147483647" Y="-2147483648"/><Image Name="needle.bmp"><Axis X="3e9" Y="-3e9"/></Image>
        <Rotate><Value>1</Value></Rotate></Element>
      <Element><Image Name="needle.bmp"><Nonlinearity><Item Value="1" X="0" Y="0"/><Item Value="1" X="5" Y="5"/></Nonlinearity></Image>
        <Shift><Value>1</Value></Shift><Rotate><Value>1</Value></Rotate></Element></Gauge>)")));
    variables_.Set(L'L', L"S", L"", 1e30f);
    Frame frame, farFrame;
    renderer.Render(frame.view);
    EXPECT_EQ(frame.OnlyInside(280, 105, 135), "");
    // A draw size of INT_MIN puts the gauge far to the right: nothing lands.
    far.LoadFromFile(variables_, File("far.xml", R"(<Gauge><Image Name="bg.bmp" ImageSizes="1,1,-2147483648,-2147483648"/>
      <Element><Image Name="tape.bmp"/></Element></Gauge>)"));
    far.Render(farFrame.view);
    EXPECT_EQ(farFrame.OnlyInside(320), "");
}

// The test gauge's bitmaps: in "1024" beside the device library the registry
// names when its background is there, else in the library's usual folder (a
// library kept elsewhere need not bring them).
TEST_F(GaugeRenderer, TestGaugeBitmapsBesideTheLibraryThenTheUsualFolder) {
    using av::platform::RegistryRoot;
    const ScopedRegistryFile registry((folder_ / "registry.reg").string());
    const std::wstring key = L"SOFTWARE\\Orlend\\Lumiray";
    std::wstring kept;
    const bool hadValue = av::platform::ReadRegistryString(RegistryRoot::LocalMachine, key, L"LumirayX86", kept);
    const std::wstring usual = L"C:\\Program Files\\Orlend\\Lumiray\\1024\\";
    const wchar_t sep = av::platform::kPathSeparator;
    fs::create_directories(folder_ / "with" / "1024");
    fs::create_directories(folder_ / "without" / "1024");
    std::ofstream(folder_ / "with" / "1024" / "Airspeed_Background.bmp") << "BM";
    std::ofstream(folder_ / "without" / "1024" / "Airspeed_Needle.bmp") << "BM";
    const struct {
        const char* what;
        std::wstring library;  // empty: no value
        std::wstring folder;
    } cases[] = {
        {"bitmaps beside the library", (folder_ / "with" / "Lumiray.dll").wstring(),
         (folder_ / "with" / "1024").wstring() + sep},
        {"no background beside the library", (folder_ / "without" / "Lumiray.dll").wstring(), usual},
        {"no library named", L"", usual},
    };
    for (const auto& c : cases) {
        av::platform::DeleteRegistryValue(RegistryRoot::LocalMachine, key, L"LumirayX86");
        if (!c.library.empty()) {
            ASSERT_TRUE(av::platform::WriteRegistryString(RegistryRoot::LocalMachine, key, L"LumirayX86", c.library));
        }
        EXPECT_EQ(CGaugeRenderer::DebugGaugeFolder(), c.folder) << c.what;
    }
    av::platform::DeleteRegistryValue(RegistryRoot::LocalMachine, key, L"LumirayX86");
    if (hadValue) av::platform::WriteRegistryString(RegistryRoot::LocalMachine, key, L"LumirayX86", kept);
}

}  // namespace
