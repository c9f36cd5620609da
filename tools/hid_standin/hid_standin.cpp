#include "tools/hid_standin/hid_standin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/file.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "platform/hid_device.h"
#include "platform/hid_virtual_units.h"
#include "tools/hid_standin/panel_display.h"

namespace standin {
namespace {

constexpr std::uint16_t kVendorId = 0x2B71;
constexpr long long kDefaultStepMs = 200;

struct KindInfo {
    const char* name;
    std::uint16_t productId;
    std::uint32_t inputLength;    // report ID and three bytes; 0: no input reports
    std::uint32_t featureLength;  // what a feature read returns; 0: it fails
};
// By PanelKind.
constexpr KindInfo kKinds[] = {
    {"multi", 0x0A21, 4, 13},
    {"radio", 0x0A22, 4, 23},
    {"switch", 0x0A23, 4, 0},
    {"backlit", 0x0A24, 0, 0},
};

// A knob: a step up sets one bit of a byte, a step down another.
struct Knob {
    PanelKind kind;
    const char* name;
    int byte;
    std::uint8_t up, down;
};
constexpr Knob kKnobs[] = {
    {PanelKind::Multi, "knob", 1, 0x20, 0x40},
    {PanelKind::Multi, "flaps", 3, 0x02, 0x01},
    {PanelKind::Multi, "trim", 3, 0x08, 0x04},
    {PanelKind::Radio, "upper-outer", 3, 0x04, 0x08},
    {PanelKind::Radio, "upper-inner", 3, 0x01, 0x02},
    {PanelKind::Radio, "lower-outer", 3, 0x40, 0x80},
    {PanelKind::Radio, "lower-inner", 3, 0x10, 0x20},
};

struct Button {
    PanelKind kind;
    const char* name;
    int byte;
    std::uint8_t bit;
};
constexpr Button kButtons[] = {
    {PanelKind::Multi, "master", 1, 0x80}, {PanelKind::Multi, "hdg", 2, 0x01},
    {PanelKind::Multi, "nav", 2, 0x02},    {PanelKind::Multi, "ias", 2, 0x04},
    {PanelKind::Multi, "alt", 2, 0x08},    {PanelKind::Multi, "vs", 2, 0x10},
    {PanelKind::Multi, "apr", 2, 0x20},    {PanelKind::Multi, "rev", 2, 0x40},
    {PanelKind::Radio, "upper-swap", 2, 0x40}, {PanelKind::Radio, "lower-swap", 2, 0x80},
};

// One position of a switch or selector: the bit it sets (byte 0: none).
struct Position {
    const char* name;
    int byte;
    std::uint8_t bit;
};
struct Control {
    PanelKind kind;
    const char* name;
    std::vector<Position> positions;  // moving clears every one of their bits first
};
std::vector<Position> OnOff(int byte, std::uint8_t bit) { return {{"off", 0, 0}, {"on", byte, bit}}; }
const std::vector<Control>& Controls() {
    static const std::vector<Control> controls = {
        {PanelKind::Multi, "selector",
         {{"alt", 1, 0x01}, {"vs", 1, 0x02}, {"ias", 1, 0x04}, {"hdg", 1, 0x08}, {"crs", 1, 0x10}}},
        {PanelKind::Multi, "autothrottle", OnOff(2, 0x80)},
        {PanelKind::Radio, "upper",
         {{"com1", 1, 0x01}, {"com2", 1, 0x02}, {"nav1", 1, 0x04}, {"nav2", 1, 0x08},
          {"adf", 1, 0x10}, {"dme", 1, 0x20}, {"xpdr", 1, 0x40}}},
        {PanelKind::Radio, "lower",
         {{"com1", 1, 0x80}, {"com2", 2, 0x01}, {"nav1", 2, 0x02}, {"nav2", 2, 0x04},
          {"adf", 2, 0x08}, {"dme", 2, 0x10}, {"xpdr", 2, 0x20}}},
        {PanelKind::Switch, "battery", OnOff(1, 0x01)},
        {PanelKind::Switch, "alternator", OnOff(1, 0x02)},
        {PanelKind::Switch, "avionics", OnOff(1, 0x04)},
        {PanelKind::Switch, "fuel-pump", OnOff(1, 0x08)},
        {PanelKind::Switch, "de-ice", OnOff(1, 0x10)},
        {PanelKind::Switch, "pitot-heat", OnOff(1, 0x20)},
        {PanelKind::Switch, "cowl-flaps", OnOff(1, 0x40)},
        {PanelKind::Switch, "panel", OnOff(1, 0x80)},
        {PanelKind::Switch, "beacon", OnOff(2, 0x01)},
        {PanelKind::Switch, "nav", OnOff(2, 0x02)},
        {PanelKind::Switch, "strobe", OnOff(2, 0x04)},
        {PanelKind::Switch, "taxi", OnOff(2, 0x08)},
        {PanelKind::Switch, "landing", OnOff(2, 0x10)},
        {PanelKind::Switch, "magneto",
         {{"off", 2, 0x20}, {"right", 2, 0x40}, {"left", 2, 0x80}, {"both", 3, 0x01},
          {"start", 3, 0x02}}},
        {PanelKind::Switch, "gear", {{"up", 3, 0x04}, {"down", 3, 0x08}}},
    };
    return controls;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// A whole non-negative number of milliseconds, at most a day.
bool Milliseconds(const std::string& text, long long& ms) {
    if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    ms = std::stoll(text);
    return ms <= 86400000;
}

// "+N" or "-N" with N from 1 to 1000.
bool Steps(const std::string& text, int& steps) {
    if (text.size() < 2 || text.size() > 5 || (text[0] != '+' && text[0] != '-') ||
        text.find_first_not_of("0123456789", 1) != std::string::npos) {
        return false;
    }
    const int n = std::stoi(text.substr(1));
    if (n < 1 || n > 1000) return false;
    steps = text[0] == '-' ? -n : n;
    return true;
}

}  // namespace

HidStandIn& HidStandIn::Instance() {
    static HidStandIn* const instance = new HidStandIn();
    return *instance;
}

HidStandIn::HidStandIn() : loaded_(std::chrono::steady_clock::now()) {
    // Only the count of written reports: a long flight must not grow a list.
    av::platform::VirtualHidKeepWritten(false);
}

long long HidStandIn::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 loaded_)
        .count();
}

void HidStandIn::SetRecordFile(const char* path) {
    std::lock_guard<av::Mutex> lock(mutex_);
    recordFile_ = path != nullptr ? path : "";
}

void HidStandIn::SetRecordTime(bool systemClock) {
    std::lock_guard<av::Mutex> lock(mutex_);
    recordTime_ = systemClock;
}

void HidStandIn::Record(const std::string& line) {
    std::lock_guard<av::Mutex> lock(mutex_);
    WriteLocked(line);
}

void HidStandIn::WriteLocked(const std::string& line) {
    if (recordFile_.empty()) return;
    // Appended and closed line by line: the record survives a process that ends at once.
    if (std::FILE* f = std::fopen(recordFile_.c_str(), "ab")) {
        const long long ms =
            recordTime_ ? static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                     std::chrono::system_clock::now().time_since_epoch())
                                                     .count())
                        : Now();
        std::fprintf(f, "%lld %s\n", ms, line.c_str());
        std::fclose(f);
    }
}

bool HidStandIn::LoadScriptFile(const char* path) {
    std::string text;
    if (path == nullptr || !av::platform::ReadFileBytes(path, text)) return false;
    LoadScript(text);
    return true;
}

void HidStandIn::LoadScript(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::pair<int, std::string>> pilot;
    int number = 0;
    for (std::string raw; std::getline(in, raw);) {
        ++number;
        const std::string line = Trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        const std::vector<std::string> words = Words(line);
        if (words[0] != "unit") {
            pilot.emplace_back(number, line);
            continue;
        }
        int kind = -1;
        for (int k = 0; k < 4 && words.size() == 3; ++k) {
            if (words[1] == kKinds[k].name) kind = k;
        }
        if (kind < 0 || words[2].size() > 126) {
            Record("script line " + std::to_string(number) + " ignored: " + line);
            continue;
        }
        Unit unit;
        unit.kind = static_cast<PanelKind>(kind);
        int sameKind = 1;
        for (const Unit& u : units_) sameKind += u.kind == unit.kind ? 1 : 0;
        unit.name = kKinds[kind].name;
        if (sameKind > 1) unit.name += "-" + std::to_string(sameKind);
        char path[128];
        std::snprintf(path, sizeof path,
                      "\\\\?\\hid#vid_%04x&pid_%04x#7&1c2e5f%u&0&0000#"
                      "{4d1e55b2-f16f-11cf-88cb-001111000030}",
                      unsigned{kVendorId}, unsigned{kKinds[kind].productId},
                      static_cast<unsigned>(units_.size()));
        unit.path.assign(path, path + std::strlen(path));
        if (unit.kind == PanelKind::Multi) unit.input[1] = 0x01;  // selector on alt
        if (unit.kind == PanelKind::Radio) {
            unit.input[1] = 0x01;  // upper on com1
            unit.input[2] = 0x02;  // lower on nav1
        }
        av::platform::VirtualHidUnit info;
        info.path = unit.path;
        info.vendorId = kVendorId;
        info.productId = kKinds[kind].productId;
        info.serial = av::platform::FromUtf8(words[2]);
        info.inputReportLength = kKinds[kind].inputLength;
        if (kKinds[kind].featureLength != 0) {
            info.feature.assign(unit.input, unit.input + 4);
            info.feature.resize(kKinds[kind].featureLength, 0);
        }
        av::platform::VirtualHidAttach(info);
        units_.push_back(unit);
    }

    // Actions are parsed now: a mistake is recorded at once, and the pilot runs them as read.
    for (const auto& [n, text] : pilot) {
        Line line;
        line.number = n;
        std::string rest = text;
        const std::vector<std::string> first = Words(rest.substr(0, rest.find(';')));
        if (!first.empty() && first[0] == "at") {
            if (first.size() != 2 || rest.find(';') == std::string::npos ||
                !Milliseconds(first[1], line.at)) {
                Record("script line " + std::to_string(n) + " ignored: " + text);
                continue;
            }
            rest = rest.substr(rest.find(';') + 1);
        }
        bool good = true;
        std::stringstream parts(rest);
        for (std::string part; std::getline(parts, part, ';');) {
            part = Trim(part);
            if (part.empty()) continue;
            Parsed action;
            if (!Parse(part, action)) good = false;
            line.actions.push_back(action);
        }
        if (!good) {
            Record("script line " + std::to_string(n) + " ignored: " + text);
            continue;
        }
        lines_.push_back(std::move(line));
    }
}

HidStandIn::Unit* HidStandIn::FindUnit(const std::string& name) {
    for (Unit& u : units_) {
        if (u.name == name) return &u;
    }
    return nullptr;
}

bool HidStandIn::Parse(const std::string& action, Parsed& p) {
    const std::vector<std::string> w = Words(action);
    if (w.empty()) return false;
    if (w[0] == "sleep") {
        p.verb = Verb::Sleep;
        return w.size() == 2 && Milliseconds(w[1], p.ms);
    }
    if (w.size() < 2) return false;
    p.unit = FindUnit(w[1]);
    if (p.unit == nullptr) return false;
    if (w[0] == "wait") {
        p.verb = Verb::Wait;
        p.text = w[0];
        return w.size() == 2 && p.unit->kind != PanelKind::Backlit;
    }
    if (w.size() < 3) return false;
    const PanelKind kind = p.unit->kind;
    p.text = w[0];
    for (std::size_t i = 2; i < w.size(); ++i) p.text += " " + w[i];
    if (w[0] == "turn") {
        if (w.size() != 4 && w.size() != 5) return false;
        p.verb = Verb::Turn;
        p.ms = kDefaultStepMs;
        if (!Steps(w[3], p.steps) || (w.size() == 5 && !Milliseconds(w[4], p.ms))) return false;
        for (const Knob& k : kKnobs) {
            if (k.kind == kind && w[2] == k.name) {
                p.byte = k.byte;
                p.bit = p.steps > 0 ? k.up : k.down;
                return true;
            }
        }
        return false;
    }
    if (w[0] == "press" || w[0] == "hold" || w[0] == "release") {
        if (w.size() != 3) return false;
        p.verb = w[0] == "press" ? Verb::Press : w[0] == "hold" ? Verb::Hold : Verb::Release;
        for (const Button& b : kButtons) {
            if (b.kind == kind && w[2] == b.name) {
                p.byte = b.byte;
                p.bit = b.bit;
                return true;
            }
        }
        return false;
    }
    if (w[0] == "set") {
        if (w.size() != 4) return false;
        p.verb = Verb::Set;
        for (const Control& c : Controls()) {
            if (c.kind != kind || w[2] != c.name) continue;
            for (const Position& pos : c.positions) {
                if (pos.byte != 0) p.clear[pos.byte] |= pos.bit;
                if (w[3] == pos.name) {
                    p.byte = pos.byte;
                    p.bit = pos.bit;
                    p.found = true;
                }
            }
            return p.found;
        }
    }
    return false;
}

void HidStandIn::Start() {
    std::lock_guard<av::Mutex> lock(mutex_);
    if (started_) return;
    started_ = true;
    // Never joined: the process may end with the pilot still waiting.
    std::thread([this] { Run(); }).detach();
}

void HidStandIn::SleepUntil(long long ms) {
    const long long wait = ms - Now();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
}

void HidStandIn::Send(Unit& unit) {
    const std::vector<std::uint8_t> report(unit.input, unit.input + 4);
    {
        // The positions are what a feature read gives when Aviaro opens the unit.
        auto& units = av::platform::hid_virtual::TheUnits();
        std::lock_guard<av::Mutex> lock(units.mutex);
        auto u = av::platform::hid_virtual::FindUnit(units, unit.path);
        if (u != nullptr && !u->info.feature.empty()) {
            for (std::size_t i = 1; i < 4 && i < u->info.feature.size(); ++i) {
                u->info.feature[i] = unit.input[i];
            }
        }
    }
    av::platform::VirtualHidFeed(unit.path, report);
}

void HidStandIn::RunAction(const Parsed& p) {
    if (p.verb == Verb::Sleep) {
        SleepUntil(Now() + p.ms);
        return;
    }
    Unit& unit = *p.unit;
    if (p.verb == Verb::Wait) {
        if (!av::platform::VirtualHidWaitIdle(unit.path, 10000)) {
            Record(unit.name + " not read after 10 s");
        }
        return;
    }
    Record("pilot " + unit.name + " " + p.text);
    const auto b = static_cast<std::size_t>(p.byte);
    switch (p.verb) {
    case Verb::Turn:
        for (int step = 0; step < std::abs(p.steps); ++step) {
            if (step > 0) SleepUntil(Now() + p.ms);
            unit.input[b] |= p.bit;
            Send(unit);
            unit.input[b] &= static_cast<std::uint8_t>(~p.bit);
            Send(unit);
        }
        break;
    case Verb::Press:
        unit.input[b] |= p.bit;
        Send(unit);
        unit.input[b] &= static_cast<std::uint8_t>(~p.bit);
        Send(unit);
        break;
    case Verb::Hold:
        unit.input[b] |= p.bit;
        Send(unit);
        break;
    case Verb::Release:
        unit.input[b] &= static_cast<std::uint8_t>(~p.bit);
        Send(unit);
        break;
    case Verb::Set:
        for (std::size_t i = 1; i < 4; ++i) unit.input[i] &= static_cast<std::uint8_t>(~p.clear[i]);
        if (p.byte != 0) unit.input[b] |= p.bit;
        Send(unit);
        break;
    case Verb::Wait:
    case Verb::Sleep:
        break;
    }
}

void HidStandIn::Run() {
    for (const Line& line : lines_) {
        if (line.at >= 0) SleepUntil(line.at);
        for (const Parsed& action : line.actions) RunAction(action);
    }
}

void HidStandIn::OnFeatureWritten(const std::wstring& path, const std::uint8_t* report,
                                  std::uint32_t length) {
    const Unit* unit = nullptr;
    for (const Unit& u : units_) {
        if (av::platform::hid_virtual::SamePath(u.path, path)) unit = &u;
    }
    if (unit == nullptr || report == nullptr) return;
    const panel_display::Report bytes(report, report + length);
    std::string shows;
    switch (unit->kind) {
    case PanelKind::Multi: shows = panel_display::Multi(bytes); break;
    case PanelKind::Radio: shows = panel_display::Radio(bytes); break;
    case PanelKind::Switch: shows = panel_display::Gear(bytes); break;
    case PanelKind::Backlit: shows = panel_display::Lamps(bytes); break;
    }
    // Under the lock until written: the record keeps the order of the writes.
    std::lock_guard<av::Mutex> lock(mutex_);
    std::string& last = shown_[unit->name];
    if (last == shows) return;
    last = shows;
    WriteLocked(unit->name + " " + shows);
}

}  // namespace standin
