// The gauge page against the in-process simulator and device-library stand-ins.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cab_test_support.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/pages/mira_gauge.h"
#include "plugins/aviaro/xml/xml_node.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tools/lumiray_standin/lumiray_standin.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace fs = std::filesystem;
using cabtest::WidePath;

namespace {

#if defined(_WIN32)
const wchar_t kSep = L'\\';
#else
const wchar_t kSep = L'/';
#endif

// A 24-bit bitmap of one colour (B, G, R).
std::string Bitmap(int width, int height, unsigned char b, unsigned char g, unsigned char r) {
    const int row = (width * 3 + 3) & ~3;
    const int size = 54 + row * height;
    std::string bmp(static_cast<std::size_t>(size), '\0');
    auto put = [&](int at, unsigned value, int bytes) {
        for (int i = 0; i < bytes; ++i) bmp[static_cast<std::size_t>(at + i)] = static_cast<char>(value >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, static_cast<unsigned>(size), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<unsigned>(width), 4);
    put(22, static_cast<unsigned>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t at = static_cast<std::size_t>(54 + y * row + x * 3);
            bmp[at] = static_cast<char>(b);
            bmp[at + 1] = static_cast<char>(g);
            bmp[at + 2] = static_cast<char>(r);
        }
    }
    return bmp;
}

const char kGauge[] = R"(<Gauge Name="Heading Test">
  <Image Name="bg.bmp"/>
  <Element><Position X="20" Y="15"/><Image Name="needle.bmp"><Axis X="0" Y="2"/></Image>
    <Rotate><Value>(A:Heading indicator,degrees) dgrd</Value></Rotate></Element>
</Gauge>)";

class Owner : public IPageOwner {
public:
    void RefreshPage(IPage* page) override {
        ++refreshes;
        for (lumiray::Device d : devices) page->SendToDevice(d, &CLumirayLibrary::DeviceType_Mira);
    }
    std::wstring GetDevicePageName(lumiray::Device device) override {
        auto it = saved.find(device);
        return it != saved.end() ? it->second : std::wstring();
    }
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
        for (int i = 0; i < 2; ++i) {
            int number = standin::LumirayStandIn::Instance().AddDevice(standin::DeviceKind::Mira);
            devices_[i] = standin::LumirayStandIn::Instance().DeviceHandle(number);
        }
        // Gauge-format images live in the "1024" folder beside the gauge file.
        fs::create_directories(work_.Path() / "Heading" / "1024");
        cabtest::WriteBytes(work_.Path() / "Heading" / "gauge.xml", kGauge);
        cabtest::WriteBytes(work_.Path() / "Heading" / "1024" / "bg.bmp", Bitmap(40, 30, 200, 0, 0));
        cabtest::WriteBytes(work_.Path() / "Heading" / "1024" / "needle.bmp", Bitmap(16, 4, 255, 255, 255));
        CTraceLog::Instance().Open(WidePath(work_.Path() / "trace.txt"));
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
        return cabtest::ReadBytes(work_.Path() / "trace.txt");
    }
    std::vector<std::string> DeviceCalls(const std::string& prefix) {
        std::vector<std::string> calls;
        for (const std::string& c : standin::LumirayStandIn::Instance().Records()) {
            if (c.rfind(prefix, 0) == 0) calls.push_back(c);
        }
        return calls;
    }
    // A "Gauge" element with the given attributes.
    std::unique_ptr<CXmlNode> Element(const std::vector<std::pair<std::wstring, std::wstring>>& attributes) {
        auto node = std::make_unique<CXmlNode>(L"Gauge", nullptr);
        for (const auto& [name, value] : attributes) node->SetAttribute(name, value);
        return node;
    }

    cabtest::WorkFolder work_{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    Owner owner_;
    lumiray::Device devices_[2] = {};
};

TEST(GaugeParseNumber, DecimalAndHexadecimal) {
    const std::pair<const wchar_t*, std::uint32_t> cases[] = {
        {L"0x64", 100},  {L"0X0000FF", 255},    {L"700", 700},       {L" \t\n42abc", 42},
        {L"0x", 0},      {L"x12", 0},           {L"0xfFz1", 255},    {L"", 0},
        {L"4294967297", 1}, {L"0x123456789", 0x23456789u}, {L"1x10", 16}, {L"-5", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseNumber(text), value) << text;
}

TEST_F(GaugePageTest, ConfigurationEdgeCases) {
    const std::wstring folder = WidePath(work_.Path() / "Heading");
    struct Case {
        const char* what;
        std::vector<std::pair<std::wstring, std::wstring>> attributes;
        bool withParams;
        std::uint32_t interval;
        std::wstring gaugeName;  // empty: the test gauge
    };
    const Case cases[] = {
        {"no configuration", {}, false, 50, L""},
        {"no File", {{L"Timeout", L"0x64"}}, true, 100, L""},
        {"absolute", {{L"rootfolder", L"ABSOLUTE"}, {L"File", folder + kSep + L"gauge.xml"}}, true,
         200, L"Heading Test"},
        {"Fsx without the key", {{L"RootFolder", L"fsx"}, {L"File", L"gauge.xml"}, {L"Timeout", L"75"}},
         true, 75, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto element = Element(c.attributes);
        GaugePageInitParams params{element.get()};
        CPage_Mira_Gauge page(7, &owner_);
        page.OnSimInitialize(c.withParams ? &params : nullptr);
        EXPECT_EQ(page.FrameInterval(), c.interval) << Trace();
        if (c.gaugeName.empty()) {
            // The built-in test gauge has a name of its own.
            EXPECT_NE(page.Renderer().GetGaugeName(), L"Heading Test");
        } else {
            EXPECT_EQ(page.Renderer().GetGaugeName(), c.gaugeName);
        }
    }
    std::wstring path, extracted;
    auto fsx = Element({{L"RootFolder", L"Fsx"}, {L"File", L"gauge.xml"}});
    EXPECT_TRUE(CPage_Mira_Gauge::ResolveGaugeFile(fsx.get(), path, extracted));
    EXPECT_EQ(path, std::wstring(1, kSep) + L"gauge.xml");
    EXPECT_TRUE(extracted.empty());
    auto noFile = Element({});
    EXPECT_TRUE(CPage_Mira_Gauge::ResolveGaugeFile(noFile.get(), path, extracted));
    EXPECT_EQ(path, av::platform::GetExecutableFolder() + kSep);
    EXPECT_FALSE(CPage_Mira_Gauge::ResolveGaugeFile(nullptr, path, extracted));

    const std::string trace = Trace();
    EXPECT_NE(trace.find("RootFolder=Absolute"), std::string::npos);
    EXPECT_NE(trace.find("RootFolder=Fsx"), std::string::npos);
    EXPECT_NE(trace.find("RootFolder=Relative"), std::string::npos);
    std::size_t debugLoads = 0;
    for (std::size_t at = 0;
         (at = trace.find("m_renderer.LoadFromFile failed or pvInitParams was NULL - loading debug data", at)) !=
         std::string::npos;
         ++at) {
        ++debugLoads;
    }
    EXPECT_EQ(debugLoads, 3u);
}

// A package with the gauge in a sub-folder and a read-only file: unpacked,
// loaded with its buttons, and its temporary folder gone afterwards.
TEST_F(GaugePageTest, LoadsFromAPackageAndRemovesItsFolder) {
    std::vector<cabtest::StoredEntry> entries = {
        {"Heading\\gauge.xml", kGauge, 0x21},
        {"Heading\\1024\\bg.bmp", cabtest::ReadBytes(work_.Path() / "Heading" / "1024" / "bg.bmp"), 0x01},
        {"Heading\\1024\\needle.bmp",
         cabtest::ReadBytes(work_.Path() / "Heading" / "1024" / "needle.bmp")},
        {"..\\escaped.txt", "evil"},
    };
    fs::path cabinet = work_.Path() / "heading.cab";
    ASSERT_TRUE(cabtest::WriteBytes(cabinet, cabtest::StoredCabinet(entries)));

    auto element = Element({{L"RootFolder", L"Absolute"}, {L"CabFile", WidePath(cabinet)},
                            {L"File", L"Heading\\gauge.xml"}});
    auto add = [&](const wchar_t* id, const wchar_t* name, const wchar_t* event, const wchar_t* bold,
                   const wchar_t* rgb) {
        CXmlNode* button = element->AppendChild(L"Button");
        if (id) button->SetAttribute(L"Id", id);
        if (name) button->SetAttribute(L"Name", name);
        if (event) button->SetAttribute(L"Event", event);
        if (bold) button->SetAttribute(L"Bold", bold);
        if (rgb) button->SetAttribute(L"RGB", rgb);
    };
    add(L"2", L"HDG", L"HEADING_BUG_INC", L"700", L"0x0000FF");
    add(L"5", L"NAV", nullptr, nullptr, nullptr);  // no event: ignored
    add(L"0x6", L"GPS", L"TOGGLE_GPS_DRIVES_NAV1", nullptr, nullptr);

    std::wstring path, extracted;
    ASSERT_TRUE(CPage_Mira_Gauge::ResolveGaugeFile(element.get(), path, extracted));
    EXPECT_EQ(path, extracted + kSep + L"Heading\\gauge.xml");
    const fs::path folder(extracted);
    EXPECT_EQ(cabtest::ReadBytes(folder / "Heading" / "gauge.xml"), kGauge);
    EXPECT_FALSE(fs::exists(folder.parent_path() / "escaped.txt"));
    EXPECT_TRUE(CPage_Mira_Gauge::DeleteFolderTree(extracted));
    EXPECT_FALSE(fs::exists(folder));

    GaugePageInitParams params{element.get()};
    CPage_Mira_Gauge page(9, &owner_);
    page.OnSimInitialize(&params);
    EXPECT_EQ(page.Renderer().GetGaugeName(), L"Heading Test");
    ASSERT_EQ(page.Renderer().Buttons().size(), 2u);
    EXPECT_EQ(page.Renderer().Buttons()[0].id, 2);
    EXPECT_EQ(page.Renderer().Buttons()[0].weight, 700);
    EXPECT_EQ(page.Renderer().Buttons()[0].colour, 255u);
    EXPECT_EQ(page.Renderer().Buttons()[1].id, 6);
    EXPECT_EQ(page.Renderer().Buttons()[1].weight, 400);
    EXPECT_EQ(page.Renderer().Buttons()[1].colour, 0xFFFFFFu);
    // Nothing left in the temporary folder from this load.
    const std::string trace = Trace();
    EXPECT_EQ(trace.find("loading debug data"), std::string::npos) << trace;
    std::size_t count = 0;
    for (auto& entry : fs::directory_iterator(folder.parent_path())) {
        if (cabtest::Utf8Name(entry.path().filename()).rfind("{", 0) == 0 &&
            fs::exists(entry.path() / "Heading")) {
            ++count;
        }
    }
    EXPECT_EQ(count, 0u);
}

#if !defined(_WIN32)
TEST_F(GaugePageTest, DeleteFolderTreeNeverFollowsALink) {
    fs::path outside = work_.Path() / "outside";
    fs::create_directories(outside);
    cabtest::WriteBytes(outside / "keep.txt", "keep");
    fs::path tree = work_.Path() / "tree";
    fs::create_directories(tree / "sub");
    cabtest::WriteBytes(tree / "sub" / "ro.txt", "ro");
    fs::permissions(tree / "sub" / "ro.txt", fs::perms::owner_read);
    fs::create_directory_symlink(outside, tree / "link");
    fs::create_directory_symlink(outside, tree / "sub" / "link2");
    EXPECT_TRUE(CPage_Mira_Gauge::DeleteFolderTree(WidePath(tree)));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(cabtest::ReadBytes(outside / "keep.txt"), "keep");
}
#endif

TEST_F(GaugePageTest, TwoDevicesSavedNameAndLeds) {
    auto element = Element({{L"RootFolder", L"Absolute"},
                            {L"File", WidePath(work_.Path() / "Heading" / "gauge.xml")}});
    CXmlNode* button = element->AppendChild(L"Button");
    button->SetAttribute(L"Id", L"3");
    button->SetAttribute(L"Name", L"X");
    button->SetAttribute(L"Event", L"HEADING_BUG_INC");
    button = element->AppendChild(L"Button");
    button->SetAttribute(L"Id", L"6");
    button->SetAttribute(L"Name", L"Y");
    button->SetAttribute(L"Event", L"HEADING_BUG_DEC");
    GaugePageInitParams params{element.get()};
    CPage_Mira_Gauge page(4, &owner_);
    page.OnSimInitialize(&params);
    // Device 0 remembers another gauge, device 1 this one.
    owner_.saved[devices_[0]] = L"Other";
    owner_.saved[devices_[1]] = L"Heading Test";
    bool active = false;
    ASSERT_TRUE(page.AddToDevice(devices_[0], true, &active));
    EXPECT_FALSE(active);
    ASSERT_TRUE(page.AddToDevice(devices_[1], false, &active));
    EXPECT_TRUE(active);
    EXPECT_EQ(owner_.saved[devices_[0]], L"Other");
    EXPECT_EQ(owner_.savedCount, 1);
    const std::vector<std::string> pages = DeviceCalls("Lumiray_AddPage");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0], "Lumiray_AddPage device=1 page=4 flags=0 -> 00000000");
    EXPECT_EQ(pages[1], "Lumiray_AddPage device=2 page=4 flags=1 -> 00000000");
    const std::vector<std::string> leds = DeviceCalls("Lumiray_SetLed device=2");
    const std::vector<std::string> expected = {
        "Lumiray_SetLed device=2 page=4 index=1 value=0 -> 00000000",
        "Lumiray_SetLed device=2 page=4 index=2 value=0 -> 00000000",
        "Lumiray_SetLed device=2 page=4 index=3 value=1 -> 00000000",
        "Lumiray_SetLed device=2 page=4 index=4 value=0 -> 00000000",
        "Lumiray_SetLed device=2 page=4 index=5 value=0 -> 00000000",
        "Lumiray_SetLed device=2 page=4 index=6 value=1 -> 00000000",
    };
    EXPECT_EQ(leds, expected);
    standin::Screen screen;
    ASSERT_TRUE(standin::LumirayStandIn::Instance().GetScreen(2, screen));
    ASSERT_EQ(screen.image.size(), 230400u);
    // The 40 x 30 background sits at the right edge, rows 105 to 134 from the
    // top; the image's rows run bottom-up, 960 bytes each.
    const std::size_t inside = static_cast<std::size_t>(239 - 110) * 960 + 319 * 3;
    EXPECT_EQ(screen.image[inside], 200);
    EXPECT_EQ(screen.image[inside + 2], 0);
    const std::size_t below = static_cast<std::size_t>(239 - 135) * 960 + 319 * 3;
    EXPECT_EQ(screen.image[below], 0);
    // Activation remembers the gauge for the device.
    owner_.saved.clear();
    page.OnPageActivated(devices_[0]);
    EXPECT_EQ(owner_.saved[devices_[0]], L"Heading Test");
    // A soft button transmits its event; Select does nothing.
    page.OnButtonPress(0x1 | 0x100 | 0x80);
    CClientEventQueue::Instance().Flush();
    const std::string trace = Trace();
    EXPECT_NE(trace.find("CPage_Mira_Gauge::OnButtonPress(SoftButton_3)"), std::string::npos);
    EXPECT_NE(trace.find("CPage_Mira_Gauge::OnButtonPress(SoftButton_4)"), std::string::npos);
    EXPECT_LT(trace.find("CPage_Mira_Gauge::OnButtonPress(SoftButton_3)"),
              trace.find("CPage_Mira_Gauge::OnButtonPress(SoftButton_4)"));
    std::size_t transmits = 0;
    for (const std::string& c : standin::SimStandIn::Instance().Records()) {
        if (c.rfind("SimConnect_TransmitClientEvent", 0) == 0) ++transmits;
    }
    EXPECT_EQ(transmits, 1u);
}

// The render thread: one per start, asleep without data, one frame per
// interval at most, stopped by OnSimStop and by destruction.
TEST_F(GaugePageTest, RenderThread) {
    auto element = Element({{L"RootFolder", L"Absolute"}, {L"Timeout", L"40"},
                            {L"File", WidePath(work_.Path() / "Heading" / "gauge.xml")}});
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
    std::size_t requests = 0;
    for (const std::string& c : standin::SimStandIn::Instance().Records()) {
        if (c.rfind("SimConnect_RequestDataOnSimObject", 0) == 0) ++requests;
    }
    EXPECT_EQ(requests, 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(page->FramesDrawn(), 0u);
    EXPECT_EQ(owner_.refreshes.load(), 0);

    standin::Screen before;
    ASSERT_TRUE(standin::LumirayStandIn::Instance().GetScreen(1, before));
    // Changes every 5 ms for about 120 ms: one frame per 40 ms interval at most.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= 24; ++i) {
        float heading = static_cast<float>(i * 9);
        page->OnSimRecieveData(&heading, sizeof heading);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(page->FramesDrawn(), static_cast<std::uint64_t>(span.count() / 40 + 2));
    EXPECT_GE(page->FramesDrawn(), 1u);
    EXPECT_GE(owner_.refreshes.load(), 1);
    standin::Screen after;
    ASSERT_TRUE(standin::LumirayStandIn::Instance().GetScreen(1, after));
    EXPECT_NE(after.image, before.image);

    page->OnSimStop();
    EXPECT_FALSE(page->RenderThreadRunning());
    page->OnSimStart();
    float heading = 270.0f;
    page->OnSimRecieveData(&heading, sizeof heading);
    // Destroyed while its thread runs, as the manager may.
    page.reset();
}

}  // namespace
