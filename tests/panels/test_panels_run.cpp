// The whole run with the shipped panels: the wait loop, the simulator
// stand-in's aircraft, and a multi panel unit on the virtual HID bus. The knob
// turns on the unit's reader thread; the event leaves from the dispatch thread
// and comes back as a new display.
#include <chrono>
#include <cwctype>
#include <filesystem>
#include <thread>

#include "platform/hid_notify.h"
#include "platform/message_loop.h"
#include "plugins/aviaro/app/aviaro_parts.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "tests/panels/panel_fixture.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

constexpr std::uint8_t B = 0xFF;
constexpr std::uint8_t M = 0x0E;

// Collects what the unit is sent until want has been written (or 10 s pass).
bool WaitForReport(const std::wstring& path, std::vector<Report>& seen, const Report& want) {
    for (int i = 0; i < 1000 && (seen.empty() || seen.back() != want); ++i) {
        for (Report& r : av::platform::VirtualHidTakeWritten(path)) seen.push_back(std::move(r));
        if (seen.empty() || seen.back() != want) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !seen.empty() && seen.back() == want;
}

}  // namespace

TEST_F(PanelTest, AKnobStepTravelsTheWholeRoad) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "aviaro-tests" / "panels-run";
    fs::remove_all(folder);
    fs::create_directories(folder);  // no Aviaro.xml: no pages, group ids from 0
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    av::platform::VirtualHidReset();

    Attach(kPath);
    av::platform::VirtualHidArrive(kPath);  // present at start
    standin::SimStandIn::Instance().LoadScript(
        "init \"AVIONICS MASTER SWITCH\" 1\n"
        "init \"ELECTRICAL MASTER BATTERY\" 1\n"
        "init \"AUTOPILOT ALTITUDE LOCK VAR\" 12000\n"
        "init \"AUTOPILOT VERTICAL HOLD VAR\" -700\n"
        "init \"AUTOPILOT MASTER\" 1\n"
        "effect AP_ALT_VAR_INC add \"AUTOPILOT ALTITUDE LOCK VAR\" 100\n"
        "SimStart\n");

    CAviaro app(&CreateShippedPage, CreateShippedPanels());
    std::vector<Report> seen;
    bool shown = false, stepped = false;
    int handlesAfterArrival = -1;
    const Report before = Display({1, 2, 0, 0, 0, B, M, 7, 0, 0}, 0x01);
    const Report after = Display({1, 2, 1, 0, 0, B, M, 7, 0, 0}, 0x01);
    std::thread pilot([&] {
        shown = WaitForReport(kPath, seen, before);
        // The same unit announced again, its path in capitals.
        std::wstring upper = kPath;
        for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
        av::platform::VirtualHidArrive(upper);
        if (shown && av::platform::VirtualHidWaitIdle(kPath, 10000)) {
            av::platform::VirtualHidFeed(kPath, {0, 0x21, 0, 0});  // altitude, one step up
            stepped = WaitForReport(kPath, seen, after);
        }
        handlesAfterArrival = av::platform::VirtualHidOpenHandles(kPath);
        standin::SimStandIn::Instance().LoadScript("quit\n");
        av::platform::SignalEvent(app.Event());
    });
    EXPECT_TRUE(app.Run(nullptr));
    pilot.join();
    fs::current_path(previous);

    EXPECT_TRUE(shown);
    EXPECT_TRUE(stepped);
    EXPECT_EQ(handlesAfterArrival, 2);  // one unit: its own handle and its reader's
    for (Report& r : Written()) seen.push_back(std::move(r));
    EXPECT_EQ(seen, (std::vector<Report>{Display({B, B, B, B, B, B, B, B, B, B}), before, after,
                                         Display({15, 15, 15, 15, 15, 15, 15, 15, 15, 15})}));
    EXPECT_EQ(standin::SimStandIn::Instance().OtherThreadCalls(), 0);
    EXPECT_DOUBLE_EQ(standin::SimStandIn::Instance().ModelValue("AUTOPILOT ALTITUDE LOCK VAR"),
                     12100.0);
    av::platform::VirtualHidReset();
}
