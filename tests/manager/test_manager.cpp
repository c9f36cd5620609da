#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid_notify.h"
#include "platform/message_loop.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "plugins/aviaro/devices/aviaro.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tests/manager/fake_lumiray.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

using lumiray::Device;

// Everything the recording pages and panels saw, in order.
std::mutex g_mutex;
std::vector<std::string> g_events;

void Event(const std::string& e) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.push_back(e);
}

std::vector<std::string> TakeEvents() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<std::string> out;
    out.swap(g_events);
    return out;
}

std::vector<std::string> EventsStartingWith(const std::vector<std::string>& events,
                                            const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : events) {
        if (e.rfind(prefix, 0) == 0) out.push_back(e);
    }
    return out;
}

// A page that goes onto devices of one type and writes down every call.
class RecordingPage : public IPage {
public:
    RecordingPage(std::uint32_t id, IPageOwner* owner, av::Guid type, std::string kind)
        : IPage(id, owner), type_(type), name_(std::move(kind) + std::to_string(id)) {}
    ~RecordingPage() override { Event(name_ + " destroyed"); }

    void OnPageActivated(Device d) override { Event(name_ + " activated " + DeviceName(d)); }
    bool AddToDevice(Device d, bool setActive, bool* wasActive) override {
        av::Guid type{};
        if (FAILED(CLumirayLibrary::Instance().GetDeviceType(d, &type)) || !(type == type_)) {
            return false;
        }
        CLumirayLibrary::Instance().AddPage(d, PageId(), L"RecordingPage", setActive ? 1 : 0);
        SendToDevice(d, &type);
        *wasActive = setActive;
        return true;
    }
    void SendToDevice(Device d, const av::Guid* type) override {
        if (!(*type == type_)) return;
        Event(name_ + " send " + DeviceName(d));
    }
    void SendLedsToDevice(Device d, const av::Guid*) override {
        Event(name_ + " leds " + DeviceName(d));
    }
    void OnSimInitialize(const void* params) override {
        Event(name_ + " init" + (params != nullptr ? " with params" : ""));
    }
    void OnSimStart() override { Event(name_ + " start"); }
    void OnSimStop() override { Event(name_ + " stop"); }
    void OnSimRecieveData(const void*, std::uint32_t size) override {
        Event(name_ + " data " + std::to_string(size));
    }
    void OnButtonPress(std::uint32_t buttons) override {
        Event(name_ + " buttons " + std::to_string(buttons));
    }

private:
    av::Guid type_;
    std::string name_;
};

std::atomic<int> g_factoryFailsFor{-1};

IPage* MakePage(PageKind kind, std::uint32_t id, IPageOwner* owner, bool radio1) {
    if (static_cast<int>(kind) == g_factoryFailsFor) return nullptr;
    switch (kind) {
        case PageKind::Gauge:
            return new RecordingPage(id, owner, CLumirayLibrary::DeviceType_Mira, "gauge");
        case PageKind::ComNav:
            return new RecordingPage(id, owner, CLumirayLibrary::DeviceType_Tarvex,
                                     radio1 ? "com1_" : "com2_");
        case PageKind::Adf:
            return new RecordingPage(id, owner, CLumirayLibrary::DeviceType_Tarvex, "adf");
        case PageKind::Dme:
            return new RecordingPage(id, owner, CLumirayLibrary::DeviceType_Tarvex, "dme");
        case PageKind::Xpndr:
            return new RecordingPage(id, owner, CLumirayLibrary::DeviceType_Tarvex, "xpndr");
        case PageKind::Autopilot:
            return new RecordingPage(id, owner, CLumirayLibrary::DeviceType_Tarvex, "ap");
        case PageKind::VorHdg:
            return new RecordingPage(id, owner, CLumirayLibrary::DeviceType_Tarvex, "vorhdg");
    }
    return nullptr;
}

class RecordingPanel : public IPanel {
public:
    explicit RecordingPanel(std::string name) : name_(std::move(name)) {}
    bool InitSimData(std::uint32_t* nextId) override {
        Event(name_ + " group " + std::to_string(*nextId));
        ++*nextId;
        return true;
    }
    void OpenDevice(const wchar_t* path) override {
        Event(name_ + " open " + av::platform::ToUtf8(path));
    }
    void CloseDevice(const wchar_t* path) override {
        Event(name_ + " close " + av::platform::ToUtf8(path));
    }
    void CloseAllDevices() override { Event(name_ + " close all"); }
    void RequestSimData() override { Event(name_ + " request"); }
    void OnSimStop() override { Event(name_ + " stop"); }
    void OnSimObjectData(std::uint32_t requestId, const void*, std::uint32_t size) override {
        Event(name_ + " data " + std::to_string(requestId) + " " + std::to_string(size));
    }

private:
    std::string name_;
};

PanelSet RecordingPanels() {
    PanelSet panels;
    panels[0] = std::make_unique<RecordingPanel>("multi");
    panels[1] = std::make_unique<RecordingPanel>("radio");
    panels[2] = std::make_unique<RecordingPanel>("switch");
    panels[3] = std::make_unique<RecordingPanel>("backlit");
    return panels;
}

const char* kSixPages =
    "<Aviaro>\n"
    "  <Gauge File=\"a.xml\"/>\n"
    "  <tarvex>\n"
    "    <ComNav Radio1=\"TRUE\"/>\n"
    "    <Adf/>\n"
    "    <Clock/>\n"  // not a page: takes no id
    "    <DME/>\n"
    "    <Xpndr/>\n"
    "    <Autopilot/>\n"
    "    <VorHdg/>\n"
    "    <comnav radio1=\"yes\"/>\n"
    "  </tarvex>\n"
    "  <Gauge File=\"b.xml\"/>\n"
    "</Aviaro>\n";

class Manager : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        folder_ = fs::temp_directory_path() / "aviaro-tests" / "manager";
        std::error_code ec;
        fs::remove_all(folder_, ec);
        fs::create_directories(folder_);
        previous_ = fs::current_path();
        fs::current_path(folder_);
        registry_ = (folder_ / "registry.reg").string();
        setenv("AVIARO_REGISTRY", registry_.c_str(), 1);
        FakeLumiray::Get().Reset();
        CLumirayLibrary::Instance().UseEntryTable(FakeLumiray::Get().Entries());
        TakeEvents();
        g_factoryFailsFor = -1;
    }
    void TearDown() override {
        CLumirayLibrary::Instance().UseEntryTable(lumiray::EntryTable{});
        std::filesystem::current_path(previous_);
        unsetenv("AVIARO_REGISTRY");
    }
    void WriteFile(const char* name, const std::string& text) {
        std::FILE* f = std::fopen((folder_ / name).string().c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    void SetServiceRunning(bool running) {
        av::platform::WriteRegistryDword(av::platform::RegistryRoot::LocalMachine,
                                         L"SYSTEM\\CurrentControlSet\\Services\\Lumirayd",
                                         L"Running", running ? 1 : 0);
    }
    std::filesystem::path folder_, previous_;
    std::string registry_;
};

TEST_F(Manager, PagesComeFromAviaroXmlInDocumentOrder) {
    WriteFile("Aviaro.xml", kSixPages);
    CAviaro app(&MakePage, RecordingPanels());
    std::uint32_t next = 0;
    ASSERT_TRUE(app.InitializePages(&next));
    EXPECT_EQ(next, 10u);
    EXPECT_EQ(app.PageIds(), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{
                                "gauge1 init with params", "com1_2 init", "adf3 init", "dme4 init",
                                "xpndr5 init", "ap6 init", "vorhdg7 init", "com2_8 init",
                                "gauge9 init with params"}));
    app.DeletePages();
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{
                                "gauge1 destroyed", "com1_2 destroyed", "adf3 destroyed",
                                "dme4 destroyed", "xpndr5 destroyed", "ap6 destroyed",
                                "vorhdg7 destroyed", "com2_8 destroyed", "gauge9 destroyed"}));
}

TEST_F(Manager, APageThatCannotBeMadeTakesNoIdButAGaugeAlwaysDoes) {
    WriteFile("Aviaro.xml", kSixPages);
    CAviaro app(&MakePage, RecordingPanels());
    g_factoryFailsFor = static_cast<int>(PageKind::Adf);
    std::uint32_t next = 0;
    ASSERT_TRUE(app.InitializePages(&next));
    EXPECT_EQ(app.PageIds(), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    app.DeletePages();

    g_factoryFailsFor = static_cast<int>(PageKind::Gauge);
    CAviaro app2(&MakePage, RecordingPanels());
    next = 0;
    ASSERT_TRUE(app2.InitializePages(&next));
    EXPECT_EQ(next, 10u);
    EXPECT_EQ(app2.PageIds(), (std::vector<std::uint32_t>{2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(Manager, MissingOrBrokenAviaroXmlMakesNoPages) {
    CAviaro app(&MakePage, RecordingPanels());
    std::uint32_t next = 77;
    EXPECT_FALSE(app.InitializePages(&next));
    EXPECT_EQ(next, 77u);
    WriteFile("Aviaro.xml", "<Aviaro><Tarvex><Adf/></Aviaro>");
    EXPECT_FALSE(app.InitializePages(&next));
    EXPECT_EQ(next, 77u);
    EXPECT_TRUE(app.PageIds().empty());
}

TEST_F(Manager, DevicesStartOnThePageOfTheirPositionAndRouteButtons) {
    WriteFile("Aviaro.xml", kSixPages);
    FakeLumiray& lib = FakeLumiray::Get();
    lib.Add(Dev(1), {CLumirayLibrary::DeviceType_Tarvex, L""});
    lib.Add(Dev(2), {CLumirayLibrary::DeviceType_Tarvex, L""});
    lib.Add(Dev(3), {CLumirayLibrary::DeviceType_Mira, L"SER-3"});
    CAviaro app(&MakePage, RecordingPanels());
    std::uint32_t next = 0;
    ASSERT_TRUE(app.InitializePages(&next));
    TakeEvents();
    ASSERT_TRUE(app.InitializeLumiray());

    auto devices = app.Devices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[Dev(1)].currentPage, 2u);  // first text page
    EXPECT_EQ(devices[Dev(2)].currentPage, 3u);  // second text page
    EXPECT_EQ(devices[Dev(3)].currentPage, 1u);  // first gauge page
    EXPECT_EQ(std::wstring(devices[Dev(3)].serialNumber), L"SER-3");
    EXPECT_EQ(std::wstring(devices[Dev(1)].serialNumber), L"");

    const std::vector<std::string> calls = lib.Calls();
    EXPECT_EQ(EventsStartingWith(calls, "AddPage dev2"),
              (std::vector<std::string>{"AddPage dev2 2 0", "AddPage dev2 3 1", "AddPage dev2 4 0",
                                        "AddPage dev2 5 0", "AddPage dev2 6 0", "AddPage dev2 7 0",
                                        "AddPage dev2 8 0"}));
    EXPECT_EQ(EventsStartingWith(calls, "AddPage dev3"),
              (std::vector<std::string>{"AddPage dev3 1 1", "AddPage dev3 9 0"}));
    TakeEvents();

    // Buttons: newly pressed bits; a repeated state passes the whole state; a release 0.
    lib.FireButtons(Dev(1), 0x1);
    lib.FireButtons(Dev(1), 0x5);
    lib.FireButtons(Dev(1), 0x5);
    lib.FireButtons(Dev(1), 0x4);
    lib.FireButtons(Dev(1), 0x0);
    lib.FireButtons(Dev(2), 0x2);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{
                                "com1_2 buttons 1", "com1_2 buttons 4", "com1_2 buttons 5",
                                "com1_2 buttons 0", "com1_2 buttons 0", "adf3 buttons 2"}));

    // A page change activates and sends; the same page again calls nothing.
    lib.FirePage(Dev(1), 5, true);
    lib.FirePage(Dev(1), 5, true);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"xpndr5 activated dev1", "xpndr5 send dev1",
                                                      "xpndr5 leds dev1"}));
    // A deactivation leaves the device without a page: buttons reach nothing.
    lib.FirePage(Dev(1), 5, false);
    EXPECT_EQ(app.Devices()[Dev(1)].currentPage, CAviaro::kPageDeactivated);
    lib.FireButtons(Dev(1), 0x1);
    lib.FirePage(Dev(1), 42, true);  // no such page
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(app.Devices()[Dev(1)].currentPage, 42u);

    lib.FirePage(Dev(1), 3, true);
    TakeEvents();

    // Removal forgets the device; buttons of a forgotten device go nowhere.
    lib.deviceCallback(Dev(2), false, lib.deviceContext);
    EXPECT_EQ(app.Devices().count(Dev(2)), 0u);
    lib.FireButtons(Dev(2), 0x1);
    EXPECT_TRUE(TakeEvents().empty());

    // A device that arrives again is offered every page again and counts itself.
    lib.deviceCallback(Dev(1), true, lib.deviceContext);
    EXPECT_EQ(app.Devices()[Dev(1)].currentPage, 3u);
}

TEST_F(Manager, CallbacksAfterTheManagerIsGoneReachNothing) {
    // The library keeps its callbacks when its service stopped before the end
    // of the run; one that comes after the manager is destroyed does nothing.
    WriteFile("Aviaro.xml", "<A><Tarvex><Adf/></Tarvex></A>");
    FakeLumiray& lib = FakeLumiray::Get();
    lib.Add(Dev(1), {CLumirayLibrary::DeviceType_Tarvex, L""});
    {
        CAviaro app(&MakePage, RecordingPanels());
        std::uint32_t next = 0;
        ASSERT_TRUE(app.InitializePages(&next));
        ASSERT_TRUE(app.InitializeLumiray());
        app.DeletePages();
    }
    TakeEvents();
    lib.FireButtons(Dev(1), 0x1);
    lib.FirePage(Dev(1), 1, true);
    lib.deviceCallback(Dev(1), false, lib.deviceContext);
    lib.deviceCallback(Dev(2), true, lib.deviceContext);
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_TRUE(EventsStartingWith(lib.Calls(), "RegisterPageCallback dev2").empty());
}

TEST_F(Manager, RefreshSendsToEveryDeviceShowingThePage) {
    WriteFile("Aviaro.xml", "<A><Tarvex><Adf/><Dme/></Tarvex></A>");
    FakeLumiray& lib = FakeLumiray::Get();
    lib.Add(Dev(1), {CLumirayLibrary::DeviceType_Tarvex, L""});
    lib.Add(Dev(2), {CLumirayLibrary::DeviceType_Tarvex, L""});
    lib.Add(Dev(3), {CLumirayLibrary::DeviceType_Tarvex, L""});
    CAviaro app(&MakePage, RecordingPanels());
    std::uint32_t next = 0;
    ASSERT_TRUE(app.InitializePages(&next));
    ASSERT_TRUE(app.InitializeLumiray());
    // The third device finds fewer pages than its position: no page made active.
    EXPECT_EQ(app.Devices()[Dev(3)].currentPage, 0u);
    lib.FirePage(Dev(2), 1, true);
    TakeEvents();

    struct Probe : IPage {
        Probe() : IPage(1, nullptr) {}
        void OnPageActivated(Device) override {}
        void OnButtonPress(std::uint32_t) override {}
        void SendToDevice(Device d, const av::Guid*) override { Event("probe " + DeviceName(d)); }
    } probe;
    app.RefreshPage(&probe);
    app.RefreshPage(nullptr);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"probe dev1", "probe dev2"}));
}

TEST_F(Manager, ADeviceWithoutARecordIsShownButNeverRouted) {
    WriteFile("Aviaro.xml", "<A><Tarvex><Adf/></Tarvex></A>");
    FakeLumiray& lib = FakeLumiray::Get();
    FakeDevice broken{CLumirayLibrary::DeviceType_Tarvex, L""};
    broken.failPageCallback = true;
    lib.Add(Dev(1), broken);
    CAviaro app(&MakePage, RecordingPanels());
    std::uint32_t next = 0;
    ASSERT_TRUE(app.InitializePages(&next));
    TakeEvents();
    ASSERT_TRUE(app.InitializeLumiray());
    EXPECT_TRUE(app.Devices().empty());
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"adf1 send dev1"}));
    EXPECT_EQ(EventsStartingWith(lib.Calls(), "AddPage"),
              (std::vector<std::string>{"AddPage dev1 1 1"}));
}

TEST_F(Manager, PageNamesFollowTheSerialAndSurviveARestart) {
    const std::wstring path = CMiraList::GetMiraListPath();
    std::filesystem::remove(std::filesystem::path(path));
    WriteFile("Aviaro.xml", "<A><Gauge/><Gauge/></A>");
    FakeLumiray& lib = FakeLumiray::Get();
    lib.Add(Dev(1), {CLumirayLibrary::DeviceType_Mira, L"O'Brien \"7\""});
    lib.Add(Dev(2), {CLumirayLibrary::DeviceType_Mira, L"<fail>"});
    lib.Add(Dev(3), {CLumirayLibrary::DeviceType_Mira, L"0123456789ABCDEFGH"});
    {
        CAviaro app(&MakePage, RecordingPanels());
        std::uint32_t next = 0;
        ASSERT_TRUE(app.InitializePages(&next));
        ASSERT_TRUE(app.InitializeLumiray());
        EXPECT_EQ(app.GetDevicePageName(Dev(1)), L"");
        app.SetDevicePageName(Dev(1), L"Altimeter");
        app.SetDevicePageName(Dev(2), L"Unknown unit");
        app.SetDevicePageName(Dev(3), L"Long serial");
        app.SetDevicePageName(Dev(9), L"no such device");
        EXPECT_EQ(app.GetDevicePageName(Dev(1)), L"Altimeter");
        // A serial that failed to read is the empty serial; one that filled the
        // buffer is cut to what fits with its terminator.
        EXPECT_EQ(std::wstring(app.Devices()[Dev(2)].serialNumber), L"");
        EXPECT_EQ(std::wstring(app.Devices()[Dev(3)].serialNumber), L"0123456789ABCDE");
        app.OnSimStop();
    }
    CAviaro again(&MakePage, RecordingPanels());
    std::uint32_t next = 0;
    ASSERT_TRUE(again.InitializePages(&next));
    ASSERT_TRUE(again.InitializeLumiray());
    EXPECT_EQ(again.GetDevicePageName(Dev(1)), L"Altimeter");
    EXPECT_EQ(again.GetDevicePageName(Dev(2)), L"Unknown unit");
    EXPECT_EQ(again.GetDevicePageName(Dev(3)), L"Long serial");
    EXPECT_EQ(again.GetDevicePageName(Dev(9)), L"");
    std::filesystem::remove(std::filesystem::path(path));
}

TEST_F(Manager, DataGoesToItsPageAndAlwaysToEveryPanel) {
    WriteFile("Aviaro.xml", "<A><Tarvex><Adf/><Dme/></Tarvex></A>");
    CAviaro app(&MakePage, RecordingPanels());
    std::uint32_t next = 0;
    ASSERT_TRUE(app.InitializePages(&next));
    TakeEvents();
    const unsigned char block[12] = {};
    app.OnSimData(2, block, 12);
    app.OnSimData(9, block, 4);
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{
                                "dme2 data 12", "multi data 2 12", "radio data 2 12",
                                "switch data 2 12", "backlit data 2 12", "multi data 9 4",
                                "radio data 9 4", "switch data 9 4", "backlit data 9 4"}));
    app.OnSimStart();
    app.OnSimStop();
    EXPECT_EQ(TakeEvents(), (std::vector<std::string>{
                                "adf1 start", "dme2 start", "multi request", "radio request",
                                "switch request", "backlit request", "adf1 stop", "dme2 stop",
                                "multi stop", "radio stop", "switch stop", "backlit stop"}));
}

TEST_F(Manager, DeviceChangeMessagesGoToThePanels) {
    CAviaro app(&MakePage, RecordingPanels());
    // Without a broadcast for a device interface, nothing happens, but the
    // message is handled.
    EXPECT_EQ(app.OnWindowMessage(0x0010, 0, 0), 0);
    EXPECT_EQ(app.OnWindowMessage(av::platform::kWmDeviceChange, 0x0007, 0), 1);
    EXPECT_EQ(app.OnWindowMessage(av::platform::kWmDeviceChange, av::platform::kDbtDeviceArrival, 0),
              1);
    EXPECT_TRUE(TakeEvents().empty());
}

// The whole run: the wait loop, the simulator stand-in, the virtual HID bus.
class ManagerRun : public Manager {
protected:
    void SetUp() override {
        Manager::SetUp();
        standin::SimStandIn::Instance().Reset();
        CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());
        av::platform::VirtualHidReset();
    }
    void TearDown() override {
        CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
        av::platform::VirtualHidReset();
        Manager::TearDown();
    }
};

TEST_F(ManagerRun, WithoutAviaroXmlThePanelsCountFromZeroAndTheRunServes) {
    av::platform::VirtualHidArrive(L"\\\\?\\hid#present");
    standin::SimStandIn::Instance().LoadScript("SimStart\ndata 3 i32:1\nPaused\nquit\n");
    SetServiceRunning(true);
    CAviaro app(&MakePage, RecordingPanels());
    EXPECT_TRUE(app.Run(nullptr));
    const std::vector<std::string> events = TakeEvents();
    EXPECT_EQ(EventsStartingWith(events, "multi"),
              (std::vector<std::string>{"multi group 0", "multi open \\\\?\\hid#present",
                                        "multi request", "multi data 3 4", "multi stop",
                                        "multi close all"}));
    EXPECT_EQ(EventsStartingWith(events, "backlit group"),
              (std::vector<std::string>{"backlit group 3"}));
    // No pages, so the device library was never started; with its service
    // running, finalisation still releases it.
    EXPECT_EQ(FakeLumiray::Get().Calls(), (std::vector<std::string>{"Deinitialize"}));
}

TEST_F(ManagerRun, PagesAreStoppedBeforeTheyAreDestroyedAndHidArrivalsReachThePanels) {
    WriteFile("Aviaro.xml", "<A><Tarvex><Adf/></Tarvex></A>");
    FakeLumiray::Get().Add(Dev(1), {CLumirayLibrary::DeviceType_Tarvex, L""});
    standin::SimStandIn::Instance().LoadScript("SimStart\n");
    SetServiceRunning(true);

    // A unit plugged in while the simulation runs; once it is open, the
    // simulator quits.
    static CAviaro* s_app;
    struct Arrivals : RecordingPanel {
        Arrivals() : RecordingPanel("multi") {}
        void RequestSimData() override {
            RecordingPanel::RequestSimData();
            av::platform::VirtualHidArrive(L"late");
        }
        void OpenDevice(const wchar_t* path) override {
            RecordingPanel::OpenDevice(path);
            standin::SimStandIn::Instance().LoadScript("quit\n");
            av::platform::SignalEvent(s_app->Event());
        }
    };
    PanelSet panels;
    panels[0] = std::make_unique<Arrivals>();
    CAviaro app(&MakePage, std::move(panels));
    s_app = &app;
    EXPECT_TRUE(app.Run(nullptr));
    const std::vector<std::string> events = TakeEvents();
    EXPECT_EQ(events, (std::vector<std::string>{
                          "adf1 init", "adf1 send dev1", "multi group 2", "adf1 start",
                          "multi request", "multi open late", "adf1 stop", "adf1 destroyed",
                          "multi close all"}));
    EXPECT_EQ(FakeLumiray::Get().Calls().front(), "Initialize Orlend Flight Sim X Plugin");
    EXPECT_EQ(FakeLumiray::Get().Calls().back(), "Deinitialize");
}

TEST_F(ManagerRun, FailingHidRegistrationEndsTheRun) {
    av::platform::SetVirtualHidRegistrationFails(true);
    standin::SimStandIn::Instance().LoadScript("SimStart\nquit\n");
    CAviaro app(&MakePage, RecordingPanels());
    EXPECT_FALSE(app.Run(nullptr));
    EXPECT_EQ(EventsStartingWith(TakeEvents(), "multi"),
              (std::vector<std::string>{"multi group 0", "multi close all"}));
}

}  // namespace
