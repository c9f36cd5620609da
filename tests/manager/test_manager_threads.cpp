// The device library's thread, the main thread and a page's worker all reach
// the manager at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "plugins/aviaro/devices/aviaro.h"
#include "plugins/aviaro/xml/xml_node.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tests/manager/fake_lumiray.h"
#include "tests/manager/work_folder.h"

namespace {

using lumiray::Device;

// A page with its own lock, as the text pages have, that counts what it gets.
class CountingPage : public IPage {
public:
    CountingPage(std::uint32_t id, IPageOwner* owner) : IPage(id, owner) {}
    void OnPageActivated(Device) override { Touch(); }
    bool AddToDevice(Device d, bool setActive, bool* wasActive) override {
        av::Guid type{};
        if (FAILED(CLumirayLibrary::Instance().GetDeviceType(d, &type))) return false;
        Touch();
        *wasActive = setActive;
        return true;
    }
    void SendToDevice(Device, const av::Guid*) override {
        Touch();
        sends.fetch_add(1);
    }
    void OnSimRecieveData(const void*, std::uint32_t) override {
        Touch();
        // A page re-sends itself after new data, with its own lock released.
        if (Owner() != nullptr) Owner()->RefreshPage(this);
    }
    void OnButtonPress(std::uint32_t) override {
        Touch();
        presses.fetch_add(1);
        if (Owner() != nullptr) Owner()->RefreshPage(this);
    }
    std::atomic<int> sends{0};
    std::atomic<int> presses{0};

private:
    void Touch() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++touched_;
    }
    std::mutex mutex_;
    int touched_ = 0;
};

// The pages the manager made of one kind, in order; the manager owns them.
template <class Page>
std::vector<Page*>& Made() {
    static std::vector<Page*> pages;
    return pages;
}

template <class Page>
IPage* MakePage(PageKind, std::uint32_t id, IPageOwner* owner, bool) {
    auto* page = new Page(id, owner);
    Made<Page>().push_back(page);
    return page;
}

TEST(ManagerThreads, CallbacksDataAndRefreshesAtOnce) {
    const WorkFolder folder("manager-threads", "<A><Tarvex><Adf/><Dme/><Xpndr/></Tarvex></A>");
    FakeLumiray& lib = FakeLumiray::Get();
    lib.Reset();
    for (int d = 1; d <= 3; ++d) lib.Add(Dev(d), {CLumirayLibrary::DeviceType_Tarvex, L""});
    CLumirayLibrary::Instance().UseEntryTable(lib.Entries());
    Made<CountingPage>().clear();

    {
        CAviaro app(&MakePage<CountingPage>, PanelSet{});
        std::uint32_t next = 0;
        ASSERT_TRUE(app.InitializePages(&next));
        ASSERT_TRUE(app.InitializeLumiray());
        ASSERT_EQ(Made<CountingPage>().size(), 3u);

        constexpr int kRounds = 3000;
        std::thread library([&] {
            for (int i = 0; i < kRounds; ++i) {
                const Device d = Dev(1 + i % 3);
                lib.FireButtons(d, static_cast<std::uint32_t>(i & 7));
                lib.FirePage(d, 1 + static_cast<std::uint32_t>(i % 3), (i % 5) != 0);
                if (i % 100 == 0) {
                    lib.deviceCallback(d, false, lib.deviceContext);
                    lib.deviceCallback(d, true, lib.deviceContext);
                }
            }
        });
        std::thread worker([&] {
            for (int i = 0; i < kRounds; ++i) app.RefreshPage(Made<CountingPage>()[i % 3]);
        });
        const unsigned char block[8] = {};
        for (int i = 0; i < kRounds; ++i) {
            app.OnSimData(1 + i % 4, block, sizeof block);
            if (i % 500 == 0) app.OnSimStop();  // saves the page names on the way
        }
        library.join();
        worker.join();

        int presses = 0;
        for (CountingPage* p : Made<CountingPage>()) presses += p->presses.load();
        EXPECT_GT(presses, 0);
        app.FinalizeLumiray();
        EXPECT_TRUE(app.Devices().empty());
        app.DeletePages();
        EXPECT_TRUE(app.PageIds().empty());
    }
    CLumirayLibrary::Instance().UseEntryTable(lumiray::EntryTable{});
}

// A gauge page as the profiles see it: the gauge it shows is the "File" of
// the element it was given, and a unit that turns to it remembers that name.
class ProfilePage : public CountingPage {
public:
    using CountingPage::CountingPage;
    void OnPageActivated(Device d) override {
        CountingPage::OnPageActivated(d);
        Owner()->SetDevicePageName(d, GaugeName());
    }
    void OnSimInitialize(const void* initParams) override {
        ShowGauge(static_cast<const GaugePageInitParams*>(initParams)->gauge);
    }
    void ShowGauge(const CXmlNode* gauge) override {
        std::lock_guard<std::mutex> lock(nameMutex_);
        name_ = gauge != nullptr ? *gauge->GetAttribute(L"File") : L"";
    }
    std::wstring GaugeName() const override {
        std::lock_guard<std::mutex> lock(nameMutex_);
        return name_;
    }

private:
    mutable std::mutex nameMutex_;
    std::wstring name_;
};

// Aircraft change on the main thread while the library's thread turns pages
// and reports buttons; then each aircraft shows its gauges, and each unit
// comes back on the page it showed last with it.
TEST(ManagerThreads, AircraftChangeWhileThePilotTurnsPages) {
    const WorkFolder folder("manager-profiles",
                            "<A><Gauge File='own1'/><Gauge File='own2'/>"
                            "<Aircraft Title='Sky*'><Gauge File='sky1'/></Aircraft>"
                            "<Aircraft Title='Baron' Name='B'><Gauge File='b1'/><Gauge File='b2'/>"
                            "</Aircraft></A>");
    FakeLumiray& lib = FakeLumiray::Get();
    lib.Reset();
    lib.Add(Dev(1), {CLumirayLibrary::DeviceType_Mira, L"M1"});
    lib.Add(Dev(2), {CLumirayLibrary::DeviceType_Mira, L"M2"});
    CLumirayLibrary::Instance().UseEntryTable(lib.Entries());
    Made<ProfilePage>().clear();
    {
        CAviaro app(&MakePage<ProfilePage>, PanelSet{});
        std::uint32_t next = 0;
        ASSERT_TRUE(app.InitializePages(&next));
        ASSERT_TRUE(app.InitializeLumiray());
        ASSERT_EQ(Made<ProfilePage>().size(), 2u);
        const std::vector<ProfilePage*>& gauges = Made<ProfilePage>();
        auto shown = [&] { return gauges[0]->GaugeName() + L"|" + gauges[1]->GaugeName(); };
        EXPECT_EQ(shown(), L"own1|own2");  // until a title comes

        std::thread library([&] {
            for (int i = 0; i < 2000; ++i) {
                lib.FirePage(Dev(1 + i % 2), 1 + static_cast<std::uint32_t>(i / 2 % 2), true);
                lib.FireButtons(Dev(1 + i % 2), static_cast<std::uint32_t>(i & 3));
            }
        });
        const wchar_t* titles[] = {L"Skyhawk", L"Baron", L"Cub"};
        for (int i = 0; i < 300; ++i) app.OnAircraftTitle(titles[i % 3]);
        library.join();

        app.OnAircraftTitle(L"Skyhawk 172");
        EXPECT_EQ(shown(), L"sky1|own2");
        app.OnAircraftTitle(L"Baron");
        EXPECT_EQ(shown(), L"b1|b2");
        EXPECT_EQ(app.ProfileName(), L"B");
        lib.FirePage(Dev(1), 2, true);
        app.OnAircraftTitle(L"Cub");
        EXPECT_EQ(shown(), L"own1|own2");
        EXPECT_EQ(app.ProfileName(), L"");
        lib.FirePage(Dev(1), 1, true);
        app.OnAircraftTitle(L"baron");  // letter case ignored
        EXPECT_EQ(app.Devices()[Dev(1)].currentPage, 2u);
        app.OnAircraftTitle(L"Cub");
        EXPECT_EQ(app.Devices()[Dev(1)].currentPage, 1u);
        app.FinalizeLumiray();
        app.DeletePages();
    }
    CLumirayLibrary::Instance().UseEntryTable(lumiray::EntryTable{});
}

}  // namespace
