#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/message_loop.h"
#include "plugins/aviaro/host/aviaro_base.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "tools/simconnect_standin/sim_standin.h"

using simconnect::DWord;

namespace {

// Writes down every handler call.
class RecordingApp : public CAviaroBase {
public:
    std::vector<std::string> calls;
    bool initializeResult = true;
    std::uint32_t postOnInitialize = 0;
    bool quitOnMessage = false;

    bool OnInitialize() override {
        calls.push_back("OnInitialize");
        if (postOnInitialize != 0) {
            av::platform::PostWindowMessage(Window(), postOnInitialize, 7, -3);
        }
        return initializeResult;
    }
    void OnFinalize() override { calls.push_back("OnFinalize"); }
    void OnSimStart() override { calls.push_back("OnSimStart"); }
    void OnSimStop() override { calls.push_back("OnSimStop"); }
    void OnSimData(std::uint32_t requestId, const void* data, std::uint32_t size) override {
        std::string bytes;
        for (std::uint32_t i = 0; i < size; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<const unsigned char*>(data)[i]);
            bytes += hex;
        }
        calls.push_back("OnSimData " + std::to_string(requestId) + " " + std::to_string(size) +
                        " " + bytes);
    }
    std::intptr_t OnWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) override {
        if (message != postOnInitialize) return 0;  // the system's own messages
        calls.push_back("OnWindowMessage " + std::to_string(message) + " " +
                        std::to_string(wParam) + " " + std::to_string(lParam));
        if (quitOnMessage) {
            standin::SimStandIn::Instance().LoadScript("quit");
            av::platform::SignalEvent(Event());
        }
        return 1;
    }
};

class WaitLoop : public ::testing::Test {
protected:
    void SetUp() override {
        sim_.Reset();
        CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());
    }
    void TearDown() override {
        CSimConnectLibrary::Instance().UseEntryTable(simconnect::EntryTable{});
        sim_.Reset();
    }
    // The stand-in's record without the call results.
    std::vector<std::string> Record() const {
        std::vector<std::string> lines;
        for (std::string line : sim_.Records()) {
            const std::size_t arrow = line.find(" -> ");
            if (arrow != std::string::npos) line.resize(arrow);
            lines.push_back(line);
        }
        return lines;
    }
    standin::SimStandIn& sim_ = standin::SimStandIn::Instance();
};

TEST_F(WaitLoop, ServesTheScriptAndEndsOnQuitWithOneFinalize) {
    sim_.LoadScript(
        "SimStart\n"
        "Paused; Unpaused\n"
        "data 9 i32:258 x:ff\n"
        "event 5; event 0\n"
        "quit; SimStop\n"  // QUIT ends the loop on the next wake, after this whole dispatch
        "SimStart\n");     // never reached
    RecordingApp app;
    EXPECT_TRUE(app.Run(nullptr));
    EXPECT_EQ(app.calls, (std::vector<std::string>{
                             "OnInitialize", "OnSimStart", "OnSimStop", "OnSimStart",
                             "OnSimData 9 5 02010000ff", "OnSimStop", "OnFinalize"}));
    EXPECT_EQ(Record(), (std::vector<std::string>{
                            "SimConnect_Open name=\"Orlend Flight Sim X Plugin\" window=0 "
                            "userEvent=0 event=set config=0",
                            "SimConnect_SubscribeToSystemEvent id=1 name=\"SimStart\"",
                            "SimConnect_SubscribeToSystemEvent id=2 name=\"SimStop\"",
                            "SimConnect_SubscribeToSystemEvent id=3 name=\"Paused\"",
                            "SimConnect_SubscribeToSystemEvent id=4 name=\"Unpaused\"",
                            "SimConnect_CallDispatch", "deliver EVENT id=1",
                            "SimConnect_CallDispatch", "deliver EVENT id=3", "deliver EVENT id=4",
                            "SimConnect_CallDispatch", "deliver SIMOBJECT_DATA request=9 size=5",
                            "SimConnect_CallDispatch", "deliver EVENT id=5", "deliver EVENT id=0",
                            "SimConnect_CallDispatch", "deliver QUIT", "deliver EVENT id=2",
                            "SimConnect_Close"}));
    EXPECT_EQ(app.Event(), nullptr);
    EXPECT_FALSE(app.IsRunning());
}

TEST_F(WaitLoop, WindowMessagesReachTheApplication) {
    // The event wins over waiting input, so the message is taken after the
    // first dispatch; the handler then has the simulator quit.
    sim_.LoadScript("SimStart\n");
    RecordingApp app;
    app.postOnInitialize = 0x8001;
    app.quitOnMessage = true;
    EXPECT_TRUE(app.Run(nullptr));
    EXPECT_EQ(app.calls, (std::vector<std::string>{"OnInitialize", "OnSimStart",
                                                   "OnWindowMessage 32769 7 -3", "OnFinalize"}));
}

TEST_F(WaitLoop, ARefusedConnectionNeverInitialises) {
    sim_.SetOpenResult(E_FAIL);
    RecordingApp app;
    EXPECT_FALSE(app.Run(nullptr));
    EXPECT_TRUE(app.calls.empty());
    EXPECT_EQ(Record(), (std::vector<std::string>{
                            "SimConnect_Open name=\"Orlend Flight Sim X Plugin\" window=0 "
                            "userEvent=0 event=set config=0"}));
}

TEST_F(WaitLoop, AFailedInitialisationSkipsTheLoopButFinalisesAndCloses) {
    sim_.LoadScript("SimStart\nquit\n");
    RecordingApp app;
    app.initializeResult = false;
    EXPECT_FALSE(app.Run(nullptr));
    EXPECT_EQ(app.calls, (std::vector<std::string>{"OnInitialize", "OnFinalize"}));
    const std::vector<std::string> record = Record();
    EXPECT_EQ(std::count(record.begin(), record.end(), "SimConnect_CallDispatch"), 0);
    EXPECT_EQ(record.back(), "SimConnect_Close");
}

TEST(Dispatch, RoutesByMessageKind) {
    RecordingApp app;
    alignas(4) unsigned char buffer[64] = {};
    auto put = [&](int word, DWord value) { std::memcpy(buffer + 4 * word, &value, 4); };

    put(2, simconnect::kRecvIdEvent);
    for (DWord id : {1u, 2u, 3u, 4u, 5u, 0u, 0xFFFFFFFFu}) {
        put(4, id);
        CAviaroBase::OnSimConnectDispatch(reinterpret_cast<simconnect::Recv*>(buffer), 24, &app);
    }
    EXPECT_EQ(app.calls, (std::vector<std::string>{"OnSimStart", "OnSimStop", "OnSimStop",
                                                   "OnSimStart"}));

    app.calls.clear();
    std::memset(buffer, 0, sizeof buffer);
    put(2, simconnect::kRecvIdSimObjectData);
    put(3, 42);
    buffer[40] = 0xAB;
    buffer[47] = 0xCD;
    CAviaroBase::OnSimConnectDispatch(reinterpret_cast<simconnect::Recv*>(buffer), 48, &app);
    // A header without data reaches the page with size 0; a shorter message is dropped.
    CAviaroBase::OnSimConnectDispatch(reinterpret_cast<simconnect::Recv*>(buffer), 40, &app);
    CAviaroBase::OnSimConnectDispatch(reinterpret_cast<simconnect::Recv*>(buffer), 39, &app);
    // Kinds the program does not act on.
    for (DWord kind : {0u, 1u, 2u, 5u, 7u, 9u, 99u}) {
        put(2, kind);
        CAviaroBase::OnSimConnectDispatch(reinterpret_cast<simconnect::Recv*>(buffer), 48, &app);
    }
    EXPECT_EQ(app.calls,
              (std::vector<std::string>{"OnSimData 42 8 ab000000000000cd", "OnSimData 42 0 "}));
}

}  // namespace
