#include "tests/pages/page_fixture.h"

#include <fstream>
#include <random>

#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/lumiray/lumiray_library.h"
#include "tools/lumiray_standin/lumiray_standin.h"
#include "tools/simconnect_standin/sim_standin.h"

void SendingOwner::RefreshPage(IPage* page) {
    ++refreshes;
    for (lumiray::Device d : devices) page->SendToDevice(d, &CLumirayLibrary::DeviceType_Tarvex);
}

void PageTest::SetUp() {
    standin::SimStandIn::Instance().Reset();
    CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());
    CSimConnectLibrary::Instance().Open("pages", nullptr, 0, nullptr, 0);
    // The test's thread serves the simulator, as the wait loop's would: a
    // press on another thread queues its events until this thread flushes.
    CClientEventQueue::Instance().AttachDispatchThread(nullptr, nullptr);
    standin::LumirayStandIn::Instance().Reset();
    // Its lock is held inside every call, as a real library's may be.
    standin::LumirayStandIn::Instance().SetStrict(true);
    CLumirayLibrary::Instance().UseEntryTable(standin::LumirayStandIn::Entries());
    const int number = standin::LumirayStandIn::Instance().AddDevice(standin::DeviceKind::Tarvex);
    device_ = standin::LumirayStandIn::Instance().DeviceHandle(number);
    TakeSimCalls();
    tracePath_ = std::filesystem::temp_directory_path() /
                 ("pages_trace_" + std::to_string(std::random_device{}()) + ".log");
    CTraceLog::Instance().Open(tracePath_.wstring());
}

void PageTest::TearDown() {
    CClientEventQueue::Instance().DetachDispatchThread();
    CTraceLog::Instance().Close();
    std::error_code ec;
    std::filesystem::remove(tracePath_, ec);
    CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
    CLumirayLibrary::Instance().UseEntryTable(lumiray::EntryTable{});
    standin::LumirayStandIn::Instance().Reset();
    standin::SimStandIn::Instance().Reset();
}

std::vector<std::string> PageTest::TakeSimCalls() {
    std::vector<std::string> calls = standin::SimStandIn::Instance().Records();
    // Reset forgets the records; the binding keeps its connection handle.
    standin::SimStandIn::Instance().Reset();
    std::erase_if(calls, [](const std::string& c) { return c.rfind("SimConnect_Open", 0) == 0; });
    return calls;
}

std::map<std::string, std::uint32_t> PageTest::EventIds(const std::vector<std::string>& calls) {
    std::map<std::string, std::uint32_t> ids;
    const std::string prefix = "SimConnect_MapClientEventToSimEvent id=";
    for (const std::string& c : calls) {
        if (c.rfind(prefix, 0) != 0) continue;
        const std::size_t nameAt = c.find(" name=\"");
        const std::size_t end = c.find('"', nameAt + 7);
        ids[c.substr(nameAt + 7, end - nameAt - 7)] =
            static_cast<std::uint32_t>(std::stoul(c.substr(prefix.size())));
    }
    return ids;
}

std::vector<std::string> PageTest::TakeDeviceCalls() {
    // The stand-in keeps its records until Reset, which would drop the device too.
    const std::vector<std::string> calls = standin::LumirayStandIn::Instance().Records();
    std::vector<std::string> fresh(calls.begin() + static_cast<std::ptrdiff_t>(deviceSeen_),
                                   calls.end());
    deviceSeen_ = calls.size();
    return fresh;
}

std::string PageTest::TraceText() {
    CTraceLog::Instance().Close();
    std::ifstream in(tracePath_, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    const std::string separator = "\n------\n";
    if (out.rfind(separator, 0) == 0) out.erase(0, separator.size());
    return out;
}

std::vector<std::wstring> PageTest::Lines(const CPage_Tarvex_Base& page) {
    return {page.Line(0), page.Line(1), page.Line(2)};
}

std::vector<std::wstring> PageTest::Screen() {
    standin::Screen screen;
    standin::LumirayStandIn::Instance().GetScreen(1, screen);
    return {screen.lines[0], screen.lines[1], screen.lines[2]};
}

void PageTest::Initialize(CPage_Tarvex_Base& page, std::uint32_t* defineId,
                          std::uint32_t* firstEventId) {
    const std::uint32_t define = CSimConnectLibrary::Instance().NextDefinitionId() + 1;
    const std::uint32_t event = CSimConnectLibrary::Instance().NextEventId() + 1;
    page.OnSimInitialize(nullptr);
    if (defineId != nullptr) *defineId = define;
    if (firstEventId != nullptr) *firstEventId = event;
}

std::string TransmitCall(std::uint32_t eventId, std::uint32_t group) {
    return "SimConnect_TransmitClientEvent object=0 id=" + std::to_string(eventId) +
           " data=0 group=" + std::to_string(group) + " flags=0 -> 00000000";
}
