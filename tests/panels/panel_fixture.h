// What the panel tests share: the simulator stand-in injected into the
// binding, the test's thread as the dispatch thread, a registry of their own
// (off Windows), simulated units, and data records built by word.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/hid_device.h"
#include "plugins/aviaro/panels/panel_class.h"

using Report = std::vector<std::uint8_t>;

// A panel's record of N words.
template <std::size_t N>
struct Words {
    std::array<std::uint32_t, N> words{};
    Words& Word(int index, std::uint32_t value) {
        words[static_cast<std::size_t>(index)] = value;
        return *this;
    }
    Words& Float(int index, float value) { return Word(index, std::bit_cast<std::uint32_t>(value)); }
};

// Input report bytes 1-3 after report ID 0.
inline Report In(std::uint8_t b1, std::uint8_t b2 = 0, std::uint8_t b3 = 0) { return {0, b1, b2, b3}; }

// A multi panel display report: report ID 0, ten digit codes, the lamps, a 0.
inline Report Display(std::array<std::uint8_t, 10> digits, std::uint8_t lamps = 0) {
    Report r(13, 0);
    std::copy(digits.begin(), digits.end(), r.begin() + 1);
    r[11] = lamps;
    return r;
}

class PanelTest : public ::testing::Test {
protected:
    static const std::wstring kPath;  // a multi panel unit

    void SetUp() override;
    void TearDown() override;

    // Builds the panel's SimConnect side with the group id given; the counter
    // ends at group + advance. The calls are kept in initCalls_, the mapped
    // events' names in ids_.
    void Initialize(CPanelClass& panel, std::uint32_t group = 7, std::uint32_t advance = 1);
    static void Attach(const std::wstring& path, std::uint16_t product = 0x0A21,
                       Report feature = Report(13, 0), std::uint32_t inputLength = 4,
                       const std::wstring& serial = L"MP-0042");
    template <std::size_t N>
    static void Data(CPanelClass& panel, const Words<N>& record) {
        panel.OnSimObjectData(panel.DefinitionId(), record.words.data(),
                              static_cast<std::uint32_t>(N * 4));
    }
    // Feeds the reports one at a time (each compared with the one before),
    // waits until the reader has handled them, and sends the events queued.
    void Feed(const std::vector<Report>& reports, const std::wstring& path = kPath);
    // The simulator calls since the last call, without the connection's own.
    static std::vector<std::string> TakeSimCalls();
    // The events transmitted since the last call by name, "NAME=data" when
    // data is not 0; group and flags are checked against those given.
    std::vector<std::string> TakeEvents(std::uint32_t group = 7, std::uint32_t flags = 0);
    static std::vector<Report> Written(const std::wstring& path = kPath) {
        return av::platform::VirtualHidTakeWritten(path);
    }

    std::vector<std::string> initCalls_;
    std::map<std::uint32_t, std::string> ids_;  // client event id -> name
    std::string registryFile_;
};
