// The shipped program's COM/NAV page through the whole run against a device
// library that holds its lock while calling back: presses arrive on the
// library's thread while the simulator's answers arrive on the dispatch
// thread. Neither may wait for the other, and only the dispatch thread may
// talk to the simulator.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>

#include "platform/hid_notify.h"
#include "platform/message_loop.h"
#include "platform/registry.h"
#include "plugins/aviaro/app/aviaro_parts.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tools/lumiray_standin/lumiray_standin.h"
#include "tests/manager/work_folder.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

const char* kAircraft =
    "init \"com active frequency:1\" 0x1850\n"
    "init \"com standby frequency:1\" 0x2200\n"
    "init \"nav active frequency:1\" 0x1030\n"
    "init \"nav standby frequency:1\" 0x0800\n"
    "effect COM_RADIO_WHOLE_INC bcd \"com standby frequency:1\" 100\n"
    "effect COM_RADIO_WHOLE_DEC bcd \"com standby frequency:1\" -100\n"
    "SimStart\n";

std::string IdOf(const std::vector<std::string>& calls, const std::string& event) {
    const std::string prefix = "SimConnect_MapClientEventToSimEvent id=";
    for (const std::string& c : calls) {
        if (c.rfind(prefix, 0) == 0 && c.find("name=\"" + event + "\"") != std::string::npos) {
            return c.substr(prefix.size(), c.find(' ', prefix.size()) - prefix.size());
        }
    }
    return "?";
}

int CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& l : lines) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

TEST(ManagerLocking, PressesAndAnswersAgainstALibraryThatLocksWhileCallingBack) {
    const WorkFolder folder("manager-locking",
                            "<Aviaro><Tarvex><ComNav Radio1=\"true\"/></Tarvex></Aviaro>");
    const std::string registry = (folder.Path() / "registry.reg").string();
    setenv("AVIARO_REGISTRY", registry.c_str(), 1);
    av::platform::WriteRegistryDword(av::platform::RegistryRoot::LocalMachine,
                                     L"SYSTEM\\CurrentControlSet\\Services\\Lumirayd", L"Running",
                                     1);
    av::platform::VirtualHidReset();

    standin::SimStandIn& sim = standin::SimStandIn::Instance();
    sim.Reset();
    sim.LoadScript(kAircraft);
    CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());
    standin::LumirayStandIn& lib = standin::LumirayStandIn::Instance();
    lib.Reset();
    CLumirayLibrary::Instance().UseEntryTable(standin::LumirayStandIn::Entries());

    // Down to the COM standby, Select to edit, then 60 presses of Up and 70 of
    // Down, each answered by the simulator with a new record. A wait matches
    // any line recorded so far, so each waits for a frequency not shown before.
    std::string presses = "strict\ndevice tarvex\nwait text=\"[118.50]\npress 1 4\npress 1 1\n";
    for (int i = 0; i < 60; ++i) presses += "press 1 2\n";
    presses += "wait text=\"\xC2\xBB" "182.00\n";
    for (int i = 0; i < 70; ++i) presses += "press 1 4\n";
    presses += "wait text=\"\xC2\xBB" "112.00\n";
    lib.LoadScript(presses);

    {
        CAviaro app(&CreateShippedPage, PanelSet{});
        std::promise<bool> ran;
        std::future<bool> result = ran.get_future();
        std::thread dispatch([&] { ran.set_value(app.Run(nullptr)); });
        const bool idle = lib.WaitIdle(30000);
        EXPECT_TRUE(idle) << "the presses never all reached the page";
        sim.LoadScript("quit\n");
        // The loop's event exists once Run has started it.
        while (app.Event() == nullptr && result.wait_for(std::chrono::milliseconds(1)) !=
                                             std::future_status::ready) {
        }
        av::platform::SignalEvent(app.Event());
        if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            // A deadlock between the dispatch and the library's thread.
            std::fprintf(stderr, "the run did not end: dispatch and device library wait on each other\n");
            std::abort();
        }
        dispatch.join();
        EXPECT_TRUE(result.get());

        standin::Screen screen;
        ASSERT_TRUE(lib.GetScreen(1, screen));
        EXPECT_EQ(screen.lines[2], L"\u00BB112.00  108.00 ");
        const std::vector<std::string> calls = sim.Records();
        const std::string transmit = "SimConnect_TransmitClientEvent object=0 id=";
        EXPECT_EQ(CountStartingWith(calls, transmit + IdOf(calls, "COM_RADIO_WHOLE_INC") + " "), 60);
        EXPECT_EQ(CountStartingWith(calls, transmit + IdOf(calls, "COM_RADIO_WHOLE_DEC") + " "), 70);
        EXPECT_EQ(sim.OtherThreadCalls(), 0);
    }
    lib.Reset();
    sim.Reset();
    CLumirayLibrary::Instance().UseEntryTable(lumiray::EntryTable{});
    CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    unsetenv("AVIARO_REGISTRY");
}

}  // namespace
