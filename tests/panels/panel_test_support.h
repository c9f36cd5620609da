// Helpers for the radio, switch and backlit panel tests on top of the shared
// panel fixture: any panel's SimConnect side, its data records and its units.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string>

#include "tests/panels/panel_fixture.h"

template <std::size_t N>
struct Words {
    std::array<std::uint32_t, N> words{};
    Words& Word(int index, std::uint32_t value) {
        words[static_cast<std::size_t>(index)] = value;
        return *this;
    }
    Words& Float(int index, float value) { return Word(index, std::bit_cast<std::uint32_t>(value)); }
};

class AnyPanelTest : public PanelTest {
protected:
    // Builds the panel's SimConnect side with the group id given and keeps
    // the calls and the mapped event names; the counter ends at group +
    // advance.
    void InitializePanel(CPanelClass& panel, std::uint32_t group = 7, std::uint32_t advance = 1) {
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
    template <std::size_t N>
    static void SendData(CPanelClass& panel, const Words<N>& record) {
        panel.OnSimObjectData(panel.DefinitionId(), record.words.data(),
                              static_cast<std::uint32_t>(N * 4));
    }
    // Events with their data, "NAME=data", since the last call.
    std::vector<std::string> TakeEventsWithData() {
        std::vector<std::string> out;
        const std::string prefix = "SimConnect_TransmitClientEvent object=0 id=";
        for (const std::string& c : TakeSimCalls()) {
            if (c.rfind(prefix, 0) != 0) {
                ADD_FAILURE() << "unexpected call " << c;
                continue;
            }
            const std::uint32_t id = static_cast<std::uint32_t>(std::stoul(c.substr(prefix.size())));
            const std::size_t at = c.find(" data=") + 6;
            out.push_back((ids_.count(id) ? ids_.at(id) : "unmapped") + "=" +
                          c.substr(at, c.find(' ', at) - at));
        }
        return out;
    }
};
