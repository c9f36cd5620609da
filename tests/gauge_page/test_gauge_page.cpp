// The gauge page against the in-process simulator and device-library stand-ins.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "cab_test_support.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/pages/mira_gauge.h"
#include "plugins/aviaro/xml/xml_node.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tests/host/scoped_registry_file.h"
#include "tools/lumiray_standin/lumiray_standin.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace fs = std::filesystem;
using cabtest::WidePath;

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at) ++count;
    return count;
}

struct Owner : public IPageOwner {
    void RefreshPage(IPage* page) override {
        ++refreshes;
        for (lumiray::Device d : devices) page->SendToDevice(d, &CLumirayLibrary::DeviceType_Mira);
    }
    std::wstring GetDevicePageName(lumiray::Device device) override { return saved[device]; }
    void SetDevicePageName(lumiray::Device device, const std::wstring& name) override {
        saved[device] = name;
        ++savedCount;
    }
    std::atomic<int> refreshes{0};
    std::vector<lumiray::Device> devices;
    std::map<lumiray::Device, std::wstring> saved;
    int savedCount = 0;
};

class GaugePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The gauge file is read through COM on Windows, as on the manager's thread.
        av::platform::ComInitialize();
        standin::SimStandIn::Instance().Reset();
        CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());
        CSimConnectLibrary::Instance().Open("gauge", nullptr, 0, nullptr, 0);
        CClientEventQueue::Instance().AttachDispatchThread(nullptr, nullptr);
        standin::LumirayStandIn::Instance().Reset();
        standin::LumirayStandIn::Instance().SetStrict(true);
        CLumirayLibrary::Instance().UseEntryTable(standin::LumirayStandIn::Entries());
        for (lumiray::Device& device : devices_) {
            device = standin::LumirayStandIn::Instance().DeviceHandle(
                standin::LumirayStandIn::Instance().AddDevice(standin::DeviceKind::Mira));
        }
        // Gauge-format images live in the "1024" folder beside the gauge file;
        // the build copies the test gauge's beside this binary.
        fs::create_directories(work_.path / "Heading");
        fs::copy(fs::path(av::platform::GetExecutableFolder()) / "1024", work_.path / "Heading" / "1024");
        cabtest::WriteBytes(gauge_, R"(<Gauge Name="Heading Test"><Image Name="Airspeed_Background.bmp"/>
  <Element><Position X="76" Y="76"/><Image Name="Airspeed_Needle.bmp"><Axis X="8" Y="6"/></Image>
    <Rotate><Value>(A:Heading indicator,degrees) dgrd</Value></Rotate></Element></Gauge>)");
        CTraceLog::Instance().Open(WidePath(work_.path / "trace.txt"));
    }
    void TearDown() override {
        CClientEventQueue::Instance().DetachDispatchThread();
        CTraceLog::Instance().Close();
        CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
        CLumirayLibrary::Instance().UseEntryTable(lumiray::EntryTable{});
        standin::LumirayStandIn::Instance().Reset();
        standin::SimStandIn::Instance().Reset();
        av::platform::ComUninitialize();
    }
    std::string Trace() {
        CTraceLog::Instance().Close();
        return cabtest::ReadBytes(work_.path / "trace.txt");
    }
    static std::vector<std::string> Calls(const std::vector<std::string>& records, const std::string& prefix) {
        std::vector<std::string> calls;
        for (const std::string& c : records) {
            if (c.rfind(prefix, 0) == 0) calls.push_back(c);
        }
        return calls;
    }
    // A "Gauge" element with the given attributes and "Button" children.
    using Attributes = std::vector<std::pair<std::wstring, std::wstring>>;
    static std::unique_ptr<CXmlNode> Element(const Attributes& attributes, const std::vector<Attributes>& buttons = {}) {
        auto node = std::make_unique<CXmlNode>(L"Gauge", nullptr);
        for (const auto& [name, value] : attributes) node->SetAttribute(name, value);
        for (const Attributes& button : buttons) {
            CXmlNode* child = node->AppendChild(L"Button");
            for (const auto& [name, value] : button) child->SetAttribute(name, value);
        }
        return node;
    }

    cabtest::WorkFolder work_;
    const fs::path gauge_ = work_.path / "Heading" / "gauge.xml";
    Owner owner_;
    lumiray::Device devices_[2] = {};
};

TEST_F(GaugePageTest, ConfigurationEdgeCases) {
    const std::vector<Attributes> buttons = {
        {{L"Id", L"2"}, {L"Name", L"HDG"}, {L"Event", L"HEADING_BUG_INC"}, {L"Bold", L"700"}, {L"RGB", L"0x0000FF"}},
        {{L"Id", L"5"}, {L"Name", L"NAV"}},  // no event: ignored
        {{L"Id", L"0x6"}, {L"Name", L"GPS"}, {L"Event", L"TOGGLE_GPS_DRIVES_NAV1"}},
    };
    struct Case {
        const char* what;
        Attributes attributes;
        bool withParams;
        std::uint32_t interval;
        std::wstring buttons;  // empty: the test gauge was loaded
    } cases[] = {
        {"no configuration", {}, false, 50, L""},
        {"no File", {{L"Timeout", L"0x64"}}, true, 100, L""},
        {"absolute", {{L"rootfolder", L"ABSOLUTE"}, {L"File", WidePath(gauge_)}}, true, 200,
         L"2 HDG 700 0000FF, 6 GPS 400 FFFFFF, "},
        {"Fsx without the key", {{L"RootFolder", L"fsx"}, {L"File", L"gauge.xml"}, {L"Timeout", L"75"}}, true, 75, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto element = Element(c.attributes, c.buttons.empty() ? std::vector<Attributes>{} : buttons);
        GaugePageInitParams params{element.get()};
        CPage_Mira_Gauge page(7, &owner_);
        page.OnSimInitialize(c.withParams ? &params : nullptr);
        EXPECT_EQ(page.FrameInterval(), c.interval);
        EXPECT_EQ(page.Renderer().GetGaugeName() == L"Heading Test", !c.buttons.empty());
        std::wstring loaded;
        for (const CSoftButton& b : page.Renderer().Buttons()) {
            wchar_t text[64];
            std::swprintf(text, 64, L"%d %ls %d %06X, ", b.id, b.label.c_str(), b.weight, b.colour);
            loaded += text;
        }
        EXPECT_EQ(loaded, c.buttons);
    }
    std::wstring path, extracted;  // a relative File is beside the executable
    EXPECT_TRUE(CPage_Mira_Gauge::ResolveGaugeFile(Element({{L"File", L"g.xml"}}).get(), path, extracted));
    EXPECT_EQ(path, av::platform::GetExecutableFolder() + av::platform::kPathSeparator + L"g.xml");

    const std::string trace = Trace();
    EXPECT_EQ(Count(trace, "RootFolder=Absolute\r\n"), 1u);
    EXPECT_EQ(Count(trace, "RootFolder=Fsx\r\n"), 1u);
    EXPECT_EQ(Count(trace, "RootFolder=Relative\r\n"), 2u);
    EXPECT_EQ(Count(trace, "m_renderer.LoadFromFile failed or pvInitParams was NULL - loading debug data\r\n"), 3u);
}

// Two Mira devices: one remembers another gauge, the other this one; the
// LEDs show the gauge's soft buttons.
TEST_F(GaugePageTest, TwoDevicesSavedNameAndLeds) {
    auto element = Element({{L"RootFolder", L"Absolute"}, {L"File", WidePath(gauge_)}},
                           {{{L"Id", L"3"}, {L"Name", L"X"}, {L"Event", L"HEADING_BUG_INC"}},
                            {{L"Id", L"6"}, {L"Name", L"Y"}, {L"Event", L"HEADING_BUG_DEC"}}});
    GaugePageInitParams params{element.get()};
    CPage_Mira_Gauge page(4, &owner_);
    page.OnSimInitialize(&params);
    owner_.saved[devices_[0]] = L"Other";
    owner_.saved[devices_[1]] = L"Heading Test";
    bool active = true;
    ASSERT_TRUE(page.AddToDevice(devices_[0], true, &active));
    EXPECT_FALSE(active);
    ASSERT_TRUE(page.AddToDevice(devices_[1], false, &active));
    EXPECT_TRUE(active);
    EXPECT_EQ(owner_.saved[devices_[0]], L"Other");
    EXPECT_EQ(owner_.savedCount, 1);
    const std::vector<std::string> records = standin::LumirayStandIn::Instance().Records();
    EXPECT_EQ(Calls(records, "Lumiray_AddPage"),
              (std::vector<std::string>{"Lumiray_AddPage device=1 page=4 flags=0 -> 00000000",
                                        "Lumiray_AddPage device=2 page=4 flags=1 -> 00000000"}));
    std::vector<std::string> leds;
    for (const char* lit : {"1=0", "2=0", "3=1", "4=0", "5=0", "6=1"}) {
        leds.push_back("Lumiray_SetLed device=2 page=4 index=" + std::string(lit, 1) + " value=" + (lit + 2) +
                       " -> 00000000");
    }
    EXPECT_EQ(Calls(records, "Lumiray_SetLed device=2"), leds);
    owner_.saved.clear();
    page.OnPageActivated(devices_[0]);  // activation remembers the gauge for the device
    EXPECT_EQ(owner_.saved[devices_[0]], L"Heading Test");
}

// The render thread: one per start, asleep without data, one frame per
// interval at most, stopped by OnSimStop and by destruction.
TEST_F(GaugePageTest, RenderThread) {
    auto element = Element({{L"RootFolder", L"Absolute"}, {L"Timeout", L"40"}, {L"File", WidePath(gauge_)}});
    GaugePageInitParams params{element.get()};
    auto page = std::make_unique<CPage_Mira_Gauge>(5, &owner_);
    page->OnSimInitialize(&params);
    bool active = false;
    ASSERT_TRUE(page->AddToDevice(devices_[0], true, &active));
    owner_.devices = {devices_[0]};
    page->OnSimStop();  // nothing running: nothing happens
    page->OnSimStart();
    page->OnSimStart();
    EXPECT_TRUE(page->RenderThreadRunning());
    EXPECT_EQ(Calls(standin::SimStandIn::Instance().Records(), "SimConnect_RequestDataOnSimObject").size(), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(page->FramesDrawn(), 0u);
    EXPECT_EQ(owner_.refreshes.load(), 0);

    // Changes every 5 ms for about 120 ms: one frame per 40 ms interval at most.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= 24; ++i) {
        float heading = static_cast<float>(i * 9);
        page->OnSimRecieveData(&heading, sizeof heading);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto span =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(page->FramesDrawn(), static_cast<std::uint64_t>(span.count() / 40 + 2));
    EXPECT_GE(page->FramesDrawn(), 2u);
    // A frame is counted before it is handed on: on a loaded machine (the
    // thread sanitizer, a parallel build) the last one may still be on its way.
    for (int i = 0; i < 300 && owner_.refreshes.load() != static_cast<int>(page->FramesDrawn()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(owner_.refreshes.load(), static_cast<int>(page->FramesDrawn()));

    page->OnSimStop();
    EXPECT_FALSE(page->RenderThreadRunning());
    page->OnSimStart();
    float heading = 270.0f;
    page->OnSimRecieveData(&heading, sizeof heading);
    page.reset();  // destroyed while its thread runs, as the manager may
}

// A 24-bit bitmap of one colour.
std::string SolidBmp(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const int row = (width * 3 + 3) & ~3;
    std::string bmp(54 + static_cast<std::size_t>(row) * height, '\0');
    auto put = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>(value >> (8 * i));
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put(2, static_cast<std::uint32_t>(bmp.size())), put(10, 54), put(14, 40);
    put(18, static_cast<std::uint32_t>(width)), put(22, static_cast<std::uint32_t>(height));
    put(26, 1 | (24 << 16));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t at = 54 + static_cast<std::size_t>(y) * row + x * 3;
            bmp[at] = static_cast<char>(b), bmp[at + 1] = static_cast<char>(g), bmp[at + 2] = static_cast<char>(r);
        }
    }
    return bmp;
}

// The published frame's pixel (x, y from the top) as 0xRRGGBB.
std::uint32_t Pixel(CPage_Mira_Gauge& page, int x, int y) {
    const auto frame = page.FrameBuffer().Published();
    const std::uint8_t* p = frame->data() + (239 - y) * CDibBuffer::kRowBytes + x * 3;
    return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

// While shown, a gauge follows its files: the gauge file, a bitmap, its
// package. A broken version keeps the gauge as it was and says why; the next
// good one is taken. Every reload's SimConnect work is done by the thread
// that flushes the client-event queue (here the test's, as the dispatch).
TEST_F(GaugePageTest, LiveReload) {
    const fs::path folder = work_.path / "Live";
    const fs::path images = folder / "1024";
    fs::create_directories(images);
    // An 8 x 8 background sits at x 312..319, y 116..123; (315, 120) is on it.
    cabtest::WriteBytes(images / "bg.bmp", SolidBmp(8, 8, 255, 0, 0));
    const std::string one = R"(<Gauge Name="One"><Image Name="bg.bmp"/></Gauge>)";
    const std::string two = R"(<Gauge Name="Two"><Image Name="bg.bmp"/>
      <Element><Position X="0" Y="0"/><Image Name="dot.bmp"/>
        <Shift><Value>(A:Airspeed indicated,knots)</Value></Shift></Element>
      <Mouse><Area><Area><Cursor Type="UpArrow"/><Click Event="KOHLSMAN_INC"/></Area>
        <Area><Cursor Type="DownArrow"/><Click Event="KOHLSMAN_DEC"/></Area></Area></Mouse></Gauge>)";
    cabtest::WriteBytes(folder / "gauge.xml", one);
    fs::create_directories(work_.path / "pkg");  // for the package, below

    auto element = Element({{L"RootFolder", L"Absolute"}, {L"File", WidePath(folder / "gauge.xml")}},
                           {{{L"Id", L"1"}, {L"Name", L"HDG"}, {L"Event", L"AP_HDG_HOLD"}}});
    GaugePageInitParams params{element.get()};
    CPage_Mira_Gauge page(3, &owner_);
    page.OnSimInitialize(&params);
    bool active = false;
    ASSERT_TRUE(page.AddToDevice(devices_[0], true, &active));
    owner_.devices = {devices_[0]};
    page.OnSimStart();
    page.OnSimStop();  // the request stays; frames are drawn by the reload itself
    EXPECT_EQ(Pixel(page, 315, 120), 0xFF0000u);
    EXPECT_EQ(page.WatchedFiles(), (std::vector<std::wstring>{WidePath(folder / "gauge.xml"), WidePath(images / "bg.bmp")}));

    std::size_t traced = 0;
    // Flushes as the dispatch thread would until the next reload line.
    auto reload = [&](const std::string& expected) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::string line;
        while (line.empty() && std::chrono::steady_clock::now() < until) {
            CClientEventQueue::Instance().Flush();
            const std::string trace = cabtest::ReadBytes(work_.path / "trace.txt");
            for (std::size_t at; (at = trace.find("CPage_Mira_Gauge::ReloadGauge - ", traced)) != std::string::npos;) {
                const std::size_t end = trace.find("\r\n", at);
                if (end == std::string::npos) break;
                traced = end;
                line = trace.substr(at, end - at);
                if (line.find(" returned ") == std::string::npos) break;
                line.clear();  // the data request's result
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(line, "CPage_Mira_Gauge::ReloadGauge - " + expected);
    };
    auto text = [](const fs::path& path) { return av::platform::ToUtf8(WidePath(path)); };
    const std::string gaugeFile = text(folder / "gauge.xml");
    const std::uint32_t firstDefine = page.DefineId();
    auto& sim = standin::SimStandIn::Instance();
    const std::size_t before = sim.Records().size();

    // 1. The gauge file: a new name, a variable, a knob; the button is mapped again.
    cabtest::WriteBytes(images / "dot.bmp", SolidBmp(2, 2, 0, 255, 0));
    cabtest::WriteBytes(folder / "gauge.xml", two);
    reload(gaugeFile + " reloaded");
    EXPECT_EQ(page.Renderer().GetGaugeName(), L"Two");
    EXPECT_NE(page.DefineId(), firstDefine);
    const std::string define = std::to_string(page.DefineId());
    const std::vector<std::string> records = sim.Records();
    const std::vector<std::string> since(records.begin() + static_cast<std::ptrdiff_t>(before), records.end());
    EXPECT_EQ(Calls(since, "SimConnect_AddToDataDefinition"),
              (std::vector<std::string>{"SimConnect_AddToDataDefinition define=" + define +
                                        " datum=\"Airspeed indicated\" units=\"knots\" type=3 epsilon=0.01 datumId=0 -> 00000000"}));
    EXPECT_EQ(Calls(since, "SimConnect_RequestDataOnSimObject"),
              (std::vector<std::string>{"SimConnect_RequestDataOnSimObject request=3 define=" + define +
                                        " object=0 period=3 flags=1 origin=0 interval=0 limit=0 -> 00000000"}));
    std::vector<std::string> mapped;
    for (const std::string& c : Calls(since, "SimConnect_MapClientEventToSimEvent")) mapped.push_back(c.substr(c.find(" name=")));
    EXPECT_EQ(mapped, (std::vector<std::string>{" name=\"KOHLSMAN_INC\" -> 00000000", " name=\"KOHLSMAN_DEC\" -> 00000000",
                                                " name=\"AP_HDG_HOLD\" -> 00000000"}));
    EXPECT_EQ(Pixel(page, 312, 116), 0x00FF00u);  // the element's dot, top left
    page.OnButtonPress(2);                           // Up: the new knob's event
    const std::string kohlsman = Calls(since, "SimConnect_MapClientEventToSimEvent")[0];
    const std::string id = kohlsman.substr(kohlsman.find("id=") + 3, kohlsman.find(' ', kohlsman.find("id=")) - kohlsman.find("id=") - 3);
    EXPECT_EQ(Calls(sim.Records(), "SimConnect_TransmitClientEvent object=0 id=" + id + " ").size(), 1u);

    // 2. A bitmap of the 1024 folder.
    cabtest::WriteBytes(images / "bg.bmp", SolidBmp(8, 8, 0, 0, 255));
    reload(gaugeFile + " reloaded");
    EXPECT_EQ(Pixel(page, 315, 120), 0x0000FFu);

    // 3. Half written, then a bitmap that is not there: both kept, each traced;
    //    the missing bitmap once made brings the gauge.
    const std::uint32_t shown = page.DefineId();
    cabtest::WriteBytes(folder / "gauge.xml", two.substr(0, 60));
    reload(gaugeFile + " could not be read, the gauge is kept");
    std::string missing = two;
    missing.replace(missing.find("dot.bmp"), 7, "new.bmp");
    cabtest::WriteBytes(folder / "gauge.xml", missing);
    reload(text(images / "new.bmp") + " could not be read, the gauge is kept");
    EXPECT_EQ(page.Renderer().GetGaugeName(), L"Two");
    EXPECT_EQ(page.DefineId(), shown);
    EXPECT_EQ(Pixel(page, 312, 116), 0x00FF00u);
    cabtest::WriteBytes(images / "new.bmp", SolidBmp(2, 2, 255, 255, 0));
    reload(gaugeFile + " reloaded");
    EXPECT_EQ(Pixel(page, 312, 116), 0xFFFF00u);
    EXPECT_EQ(sim.OtherThreadCalls(), 0);

    // A package's reload (replaced, then broken) runs end to end under Wine
    // (tests/wine/e2e_gauge.sh).
    EXPECT_EQ(owner_.refreshes.load(), 3);  // one per good reload, none for the others
}

// A frame is drawn only for changed values and sent only when its bytes
// changed, or when a send of the frame before failed.
TEST_F(GaugePageTest, OnlyChangedFramesAreSent) {
    // The second element reads the flaps but moves by 0 for any value.
    cabtest::WriteBytes(gauge_, R"(<Gauge Name="Frames"><Image Name="Airspeed_Background.bmp"/>
  <Element><Position X="76" Y="76"/><Image Name="Airspeed_Needle.bmp"><Axis X="8" Y="6"/></Image>
    <Rotate><Value>(A:Heading indicator,degrees) dgrd</Value></Rotate></Element>
  <Element><Image Name="Airspeed_Knob.bmp"/>
    <Shift><Value>(A:Flaps handle index,number)</Value><Scale X="0" Y="0"/></Shift></Element></Gauge>)");
    auto element = Element({{L"RootFolder", L"Absolute"}, {L"Timeout", L"20"}, {L"File", WidePath(gauge_)}});
    GaugePageInitParams params{element.get()};
    CPage_Mira_Gauge page(5, &owner_);
    page.OnSimInitialize(&params);
    bool active = false;
    ASSERT_TRUE(page.AddToDevice(devices_[0], true, &active));
    page.OnSimStart();
    const lumiray::Device unplugged = reinterpret_cast<lumiray::Device>(std::uintptr_t{0x4C7F});
    struct Step {
        float heading, flaps;
        std::vector<lumiray::Device> devices;
        std::uint64_t drawn;  // frames drawn so far
        std::size_t sent;     // SetImage calls since the first step
    };
    const Step steps[] = {
        {90, 0, {devices_[0]}, 1, 1},               // a new needle
        {90, 5, {devices_[0]}, 2, 1},               // drawn, the same bytes: not sent
        {90, 5, {devices_[0]}, 2, 1},               // nothing changed: not drawn
        {180, 5, {devices_[0]}, 3, 2},              // exactly one new frame
        {270, 5, {devices_[0], unplugged}, 4, 4},   // one of the two sends fails ...
        {270, 6, {devices_[0]}, 5, 5},              // ... so the same frame goes again
        {270, 7, {devices_[0]}, 6, 5},              // and then no more
    };
    const std::size_t before = Calls(standin::LumirayStandIn::Instance().Records(), "Lumiray_SetImage").size();
    for (const Step& step : steps) {
        owner_.devices = step.devices;
        const float block[2] = {step.heading, step.flaps};
        page.OnSimRecieveData(block, sizeof block);
        for (int i = 0; i < 200 && page.FramesDrawn() < step.drawn; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the frame is sent, or not
        EXPECT_EQ(page.FramesDrawn(), step.drawn) << step.heading << " " << step.flaps;
        EXPECT_EQ(Calls(standin::LumirayStandIn::Instance().Records(), "Lumiray_SetImage").size() - before,
                  step.sent) << step.heading << " " << step.flaps;
    }
    page.OnSimStop();
}

// Published copies are reused once no send holds them, and one that a send
// holds never changes under it.
TEST(GaugeFrameBuffer, CopiesAreReusedButNeverWhileHeld) {
    CDibBuffer buffer;
    auto frame = [&buffer](std::uint8_t value) {
        buffer.Select().bits[0] = value;  // the top row's first byte
        return buffer.Deselect();
    };
    EXPECT_TRUE(frame(1));
    EXPECT_FALSE(frame(1));
    const auto held = buffer.Published();
    const std::vector<std::uint8_t> heldBytes = *held;
    std::set<const std::uint8_t*> copies;
    for (std::uint8_t value = 2; value < 10; ++value) {
        EXPECT_TRUE(frame(value));
        const auto published = buffer.Published();
        EXPECT_EQ((*published)[CDibBuffer::kSize - CDibBuffer::kRowBytes], value);
        copies.insert(published->data());
    }
    EXPECT_EQ(copies.count(held->data()), 0u);
    EXPECT_EQ(copies.size(), 2u);
    EXPECT_EQ(*held, heldBytes);
}

// The unpacked package goes whole, read-only parts too; a link inside it is
// removed, never what it points at.
TEST_F(GaugePageTest, DeleteFolderTreeClearsReadOnlyAndNeverFollowsALink) {
    const fs::path tree = work_.path / "tree";
    fs::create_directories(tree / "sub");
    cabtest::WriteBytes(tree / "sub" / "ro.txt", "ro");
#if !defined(_WIN32)
    fs::create_directory_symlink(work_.path / "Heading", tree / "link");
    fs::create_directory_symlink(work_.path / "Heading", tree / "sub" / "link2");
#endif
    fs::permissions(tree / "sub" / "ro.txt", fs::perms::owner_read);
    fs::permissions(tree / "sub", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_TRUE(CPage_Mira_Gauge::DeleteFolderTree(WidePath(tree)));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(gauge_));
}

// FSX is a 32-bit simulator: on 64-bit Windows its SetupPath is in the 32-bit
// view (WOW6432Node), which both builds read; a key in the 64-bit view is not
// FSX's. On 32-bit Windows there is one view and the second write replaces the
// first.
TEST(GaugePageRegistry, FsxSetupPathIsReadFromThe32BitView) {
    using av::platform::RegistryRoot;
    using av::platform::RegistryView;
    cabtest::WorkFolder work;
    const ScopedRegistryFile registry((work.path / "registry.reg").string());
    const std::wstring key = L"SOFTWARE\\Microsoft\\Microsoft Games\\flight simulator\\10.0";
    ASSERT_TRUE(av::platform::WriteRegistryString(RegistryRoot::LocalMachine, key, L"SetupPath",
                                                  L"C:\\Sixty-four\\", RegistryView::Bits64));
    ASSERT_TRUE(av::platform::WriteRegistryString(RegistryRoot::LocalMachine, key, L"SetupPath",
                                                  L"C:\\FSX\\", RegistryView::Bits32));
    EXPECT_EQ(CPage_Mira_Gauge::ReadFsxSetupPath(), L"C:\\FSX");
    av::platform::DeleteRegistryKey(RegistryRoot::LocalMachine, key, RegistryView::Bits32);
    av::platform::DeleteRegistryKey(RegistryRoot::LocalMachine, key, RegistryView::Bits64);
}

}  // namespace
