#include "tests/panels/panel_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/registry.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "tools/simconnect_standin/sim_standin.h"

const std::wstring PanelTest::kPath =
    L"\\\\?\\hid#vid_2b71&pid_0a21#7&2f3a91c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

namespace {
const wchar_t* const kPanelsKey = L"SOFTWARE\\Orlend\\VelPanels";
const std::string kTransmit = "SimConnect_TransmitClientEvent object=0 id=";
}  // namespace

void PanelTest::SetUp() {
#if !defined(_WIN32)
    registryFile_ = (std::filesystem::temp_directory_path() /
                     ("panels_registry_" + std::to_string(std::random_device{}()) + ".reg"))
                        .string();
    setenv("AVIARO_REGISTRY", registryFile_.c_str(), 1);
#endif
    av::platform::DeleteRegistryKey(av::platform::RegistryRoot::LocalMachine, kPanelsKey);
    av::platform::VirtualHidClearUnits();
    standin::SimStandIn::Instance().Reset();
    CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());
    CSimConnectLibrary::Instance().Open("panels", nullptr, 0, nullptr, 0);
    // The test's thread serves the simulator: a reader's events wait for its flush.
    CClientEventQueue::Instance().AttachDispatchThread(nullptr, nullptr);
    TakeSimCalls();
}

void PanelTest::TearDown() {
    CClientEventQueue::Instance().DetachDispatchThread();
    CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    standin::SimStandIn::Instance().Reset();
    av::platform::DeleteRegistryKey(av::platform::RegistryRoot::LocalMachine, kPanelsKey);
    av::platform::VirtualHidClearUnits();
#if !defined(_WIN32)
    unsetenv("AVIARO_REGISTRY");
    std::remove(registryFile_.c_str());
#endif
}

void PanelTest::Initialize(CPanelClass& panel, std::uint32_t group, std::uint32_t advance) {
    std::uint32_t next = group;
    panel.InitSimData(&next);
    EXPECT_EQ(next, group + advance);
    initCalls_ = TakeSimCalls();
    ids_.clear();
    const std::string prefix = "SimConnect_MapClientEventToSimEvent id=";
    for (const std::string& c : initCalls_) {
        if (c.rfind(prefix, 0) != 0) continue;
        const std::size_t nameAt = c.find(" name=\"") + 7;
        ids_[static_cast<std::uint32_t>(std::stoul(c.substr(prefix.size())))] =
            c.substr(nameAt, c.find('"', nameAt) - nameAt);
    }
}

void PanelTest::Attach(const std::wstring& path, std::uint16_t product, Report feature,
                       std::uint32_t inputLength, const std::wstring& serial) {
    av::platform::VirtualHidUnit unit;
    unit.path = path;
    unit.vendorId = 0x2B71;
    unit.productId = product;
    unit.serial = serial;
    unit.inputReportLength = inputLength;
    unit.feature = std::move(feature);
    av::platform::VirtualHidAttach(unit);
}

void PanelTest::Feed(const std::vector<Report>& reports, const std::wstring& path) {
    ASSERT_TRUE(av::platform::VirtualHidWaitIdle(path)) << "no reader waits";
    for (const Report& r : reports) {
        av::platform::VirtualHidFeed(path, r);
        ASSERT_TRUE(av::platform::VirtualHidWaitIdle(path));
    }
    CClientEventQueue::Instance().Flush();
}

std::vector<std::string> PanelTest::TakeSimCalls() {
    std::vector<std::string> calls = standin::SimStandIn::Instance().Records();
    standin::SimStandIn::Instance().Reset();
    std::erase_if(calls, [](const std::string& c) { return c.rfind("SimConnect_Open", 0) == 0; });
    return calls;
}

std::vector<std::string> PanelTest::TakeEvents(std::uint32_t group, std::uint32_t flags) {
    std::vector<std::string> names;
    for (const std::string& c : TakeSimCalls()) {
        if (c.rfind(kTransmit, 0) != 0) {
            ADD_FAILURE() << "unexpected call " << c;
            continue;
        }
        const auto id = static_cast<std::uint32_t>(std::stoul(c.substr(kTransmit.size())));
        const std::size_t dataAt = c.find(" data=") + 6, end = c.find(' ', dataAt);
        const std::string data = c.substr(dataAt, end - dataAt);
        EXPECT_EQ(c.substr(end), " group=" + std::to_string(group) + " flags=" +
                                     std::to_string(flags) + " -> 00000000") << c;
        names.push_back((ids_.count(id) ? ids_.at(id) : "unmapped " + std::to_string(id)) +
                        (data == "0" ? "" : "=" + data));
    }
    return names;
}
