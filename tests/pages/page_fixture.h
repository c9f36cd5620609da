// What the text-page tests share: the two stand-ins injected into the
// bindings, a trace file, an owner that sends the page as the manager does,
// and access to a page's selection.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugins/aviaro/pages/tarvex_pages.h"

// The page with its selection settable, to start a test in any state.
template <typename Page>
class Exposed : public Page {
public:
    using Page::Page;
    void SetSelection(int s) { this->selection_ = s; }
};

// Sends the page to its devices when asked, like the manager for the devices
// on which the page is current.
class SendingOwner : public IPageOwner {
public:
    void RefreshPage(IPage* page) override;
    std::wstring GetDevicePageName(lumiray::Device) override { return std::wstring(); }
    void SetDevicePageName(lumiray::Device, const std::wstring&) override {}

    std::atomic<int> refreshes{0};
    std::vector<lumiray::Device> devices;
};

class PageTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The simulator calls since the last call, without the connection's own.
    std::vector<std::string> TakeSimCalls();
    // Event name -> id, from the mapping calls in calls.
    static std::map<std::string, std::uint32_t> EventIds(const std::vector<std::string>& calls);
    // The device-library calls since the last call.
    std::vector<std::string> TakeDeviceCalls();
    // The trace file's text without the separator, "\r\n" made "\n"; closes the log.
    std::string TraceText();
    // The three lines of a page.
    static std::vector<std::wstring> Lines(const CPage_Tarvex_Base& page);
    // What the virtual device shows.
    std::vector<std::wstring> Screen();

    // Inits the page (its calls taken away) and returns the first definition id
    // and event id it was given.
    void Initialize(CPage_Tarvex_Base& page, std::uint32_t* defineId = nullptr,
                    std::uint32_t* firstEventId = nullptr);

    SendingOwner owner_;
    lumiray::Device device_ = nullptr;
    std::size_t deviceSeen_ = 0;
    std::filesystem::path tracePath_;
};

// A transmit call as the simulator stand-in records it.
std::string TransmitCall(std::uint32_t eventId, std::uint32_t group);
