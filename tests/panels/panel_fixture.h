// What the panel tests share: the simulator stand-in injected into the
// binding, the test's thread as the dispatch thread, a registry of their own
// (off Windows), simulated units, and the multi panel's data record.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/hid_device.h"
#include "plugins/aviaro/panels/panel_autopilot.h"

using Report = std::vector<std::uint8_t>;

// The multi panel's 22 words, built by name.
struct MultiRecord {
    std::array<std::uint32_t, 22> words{};

    MultiRecord& Powered() {
        words[0] = 1;  // avionics master
        words[1] = 1;  // battery
        return *this;
    }
    MultiRecord& Word(int index, std::uint32_t value) {
        words[static_cast<std::size_t>(index)] = value;
        return *this;
    }
    MultiRecord& Float(int index, float value) { return Word(index, std::bit_cast<std::uint32_t>(value)); }
    MultiRecord& Altitude(float v) { return Float(6, v); }
    MultiRecord& VerticalSpeed(float v) { return Float(7, v); }
    MultiRecord& Heading(float v) { return Float(8, v); }
    MultiRecord& Airspeed(float v) { return Float(9, v); }
    MultiRecord& Course(float v) { return Float(10, v); }
};

class PanelTest : public ::testing::Test {
protected:
    static const std::wstring kPath;

    void SetUp() override;
    void TearDown() override;

    // Builds the panel's SimConnect side with the group id given; the calls it
    // made are kept in initCalls_ and its events in ids_.
    void Initialize(CPanelClass_Autopilot& panel, std::uint32_t group = 7);
    // A multi panel unit (or another product) with a 4-byte input report.
    static void Attach(const std::wstring& path, std::uint16_t product = 0x0A21,
                       Report feature = Report(13, 0), std::uint32_t inputLength = 4);
    void Data(CPanelClass_Autopilot& panel, const MultiRecord& record);
    // Feeds the reports to the unit, waits until the reader has handled them,
    // and sends the events they queued.
    void Feed(const std::vector<Report>& reports, const std::wstring& path = kPath);

    // The simulator calls since the last call, without the connection's own.
    static std::vector<std::string> TakeSimCalls();
    // Names of the events transmitted since the last call, by the ids the
    // panel mapped; group and flags are checked against the panel's.
    std::vector<std::string> TakeEvents(std::uint32_t group = 7, std::uint32_t flags = 0);
    static std::vector<Report> Written(const std::wstring& path = kPath) {
        return av::platform::VirtualHidTakeWritten(path);
    }

    std::vector<std::string> initCalls_;
    std::map<std::uint32_t, std::string> ids_;  // client event id -> name
    std::string registryFile_;
};

// A display report: report ID 0, ten digit codes, the lamps and a 0.
Report Display(std::array<std::uint8_t, 10> digits, std::uint8_t lamps = 0);
