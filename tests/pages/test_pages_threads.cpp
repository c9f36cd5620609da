// Button presses on the device library's thread while data arrives on the main
// thread: no press is lost and the device ends up showing the page's lines.
#include <thread>

#include "plugins/lumiray/lumiray_library.h"
#include "tests/pages/page_fixture.h"
#include "tools/simconnect_standin/sim_standin.h"

TEST_F(PageTest, ButtonsAndDataFromTwoThreads) {
    CPage_Tarvex_Com page(1, &owner_, true);
    owner_.devices = {device_};
    Initialize(page);
    bool active = false;
    ASSERT_TRUE(page.AddToDevice(device_, true, &active));

    constexpr int kPresses = 600;
    std::thread buttons([&] {
        // Ring steps: 600 Down presses bring the selection back to where it
        // started only if none of them was lost.
        for (int i = 0; i < kPresses; ++i) page.OnButtonPress(lumiray::SoftButton_Down);
    });
    std::int32_t record[4] = {0x1850, 0x2200, 0x1030, 0x0800};
    for (int i = 0; i < kPresses; ++i) {
        record[1] = 0x2000 | (i % 10) << 4;  // standby 120.00 .. 120.90
        page.OnSimRecieveData(record, sizeof record);
        if (i % 50 == 0) page.OnSimStart();
    }
    buttons.join();

    EXPECT_EQ(page.Selection(), 0);  // 600 steps round a ring of six
    EXPECT_EQ(Screen(), Lines(page));
    EXPECT_EQ(page.Line(2), L" 120.90  108.00 ");
    EXPECT_EQ(owner_.refreshes, 2 * kPresses);
}

TEST_F(PageTest, ActivationAndSendsFromTwoThreads) {
    CPage_Tarvex_Autopilot page(3, &owner_);
    owner_.devices = {device_};
    Initialize(page);
    bool active = false;
    ASSERT_TRUE(page.AddToDevice(device_, true, &active));
    std::thread device([&] {
        for (int i = 0; i < 300; ++i) {
            page.OnPageActivated(device_);
            page.SendToDevice(device_, &CLumirayLibrary::DeviceType_Tarvex);
            page.OnButtonPress(i % 2 == 0 ? lumiray::SoftButton_Select : lumiray::SoftButton_Up);
        }
    });
    std::int32_t r[8] = {1, 1, 0, 0, 0, 1, 0, 0};
    for (int i = 0; i < 300; ++i) {
        r[6] = i * 100;
        page.OnSimRecieveData(r, sizeof r);
    }
    device.join();
    EXPECT_EQ(Screen(), Lines(page));
    EXPECT_EQ(page.Line(0).substr(8, 6), L"029900");
}
