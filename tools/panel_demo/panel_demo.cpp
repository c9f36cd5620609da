// The four virtual panels in a short flight: the shipped application (its
// wait loop, its panels) against the simulator stand-in's aircraft, with
// simulated units that a scripted pilot turns, presses and flips. Every report
// a unit receives is printed as the panel would show it: first the multi
// panel's flight, then the radio, switch and backlit annunciator panels'.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid_device.h"
#include "platform/message_loop.h"
#include "platform/process.h"
#include "plugins/aviaro/app/aviaro_parts.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/panels/panel_backlit.h"
#include "tools/hid_standin/panel_display.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

const std::wstring kPath = L"\\\\?\\hid#vid_2b71&pid_0a21#demo&0&0000";
const std::wstring kRadioPath = L"\\\\?\\hid#vid_2b71&pid_0a22#demo&0&0000";
const std::wstring kSwitchPath = L"\\\\?\\hid#vid_2b71&pid_0a23#demo&0&0000";
const std::wstring kBacklitPath = L"\\\\?\\hid#vid_2b71&pid_0a24#demo&0&0000";
const std::wstring kBacklitSerial = L"DEMO-TALLY-1";

// The aircraft, and what the simulator does by itself (ms after connecting).
const char* const kFlight =
    "init \"AVIONICS MASTER SWITCH\" 1\n"
    "init \"ELECTRICAL MASTER BATTERY\" 1\n"
    "init \"GENERAL ENG MASTER ALTERNATOR:1\" 1\n"
    "init \"AUTOPILOT ALTITUDE LOCK VAR\" 3000\n"
    "init \"AUTOPILOT HEADING LOCK DIR\" 270\n"
    "init \"AUTOPILOT AIRSPEED HOLD VAR\" 120\n"
    "init \"NAV OBS:1\" 95\n"
    "init \"COM ACTIVE FREQUENCY:1\" 0x1850\n"
    "init \"COM STANDBY FREQUENCY:1\" 0x2190\n"
    "init \"NAV ACTIVE FREQUENCY:1\" 0x1390\n"
    "init \"NAV STANDBY FREQUENCY:1\" 0x1060\n"
    "init \"TRANSPONDER CODE:1\" 0x1200\n"
    "init \"IS GEAR RETRACTABLE\" 1\n"
    "init \"GEAR HANDLE POSITION\" 1\n"
    "init \"GEAR CENTER POSITION\" 1\n"
    "init \"GEAR LEFT POSITION\" 1\n"
    "init \"GEAR RIGHT POSITION\" 1\n"
    "init \"GEAR TOTAL PCT EXTENDED\" 1\n"
    "init \"NUMBER OF ENGINES\" 1\n"
    "init \"GENERAL ENG OIL PRESSURE:1\" 60\n"
    "init \"GENERAL ENG OIL TEMPERATURE:1\" 80\n"
    "init \"GENERAL ENG FUEL PRESSURE:1\" 20\n"
    "init \"SUCTION PRESSURE\" 4.8\n"
    "effect COM_RADIO_FRACT_INC bcd \"COM STANDBY FREQUENCY:1\" 5\n"
    "effect COM_RADIO_WHOLE_INC bcd \"COM STANDBY FREQUENCY:1\" 100\n"
    "effect COM_STBY_RADIO_SWAP swap \"COM ACTIVE FREQUENCY:1\" \"COM STANDBY FREQUENCY:1\"\n"
    "effect XPNDR_10_INC nibble \"TRANSPONDER CODE:1\" 4 1 8\n"
    "effect XPNDR_1_INC nibble \"TRANSPONDER CODE:1\" 0 1 8\n"
    "effect TOGGLE_BEACON_LIGHTS toggle \"LIGHT BEACON\"\n"
    "effect LANDING_LIGHTS_TOGGLE toggle \"LIGHT LANDING\"\n"
    "effect TOGGLE_MASTER_BATTERY toggle \"ELECTRICAL MASTER BATTERY\"\n"
    "effect GEAR_UP set \"GEAR HANDLE POSITION\" 0\n"
    "effect GEAR_UP set \"GEAR CENTER POSITION\" 0\n"
    "effect GEAR_UP set \"GEAR LEFT POSITION\" 0\n"
    "effect GEAR_UP set \"GEAR RIGHT POSITION\" 0\n"
    "effect GEAR_UP set \"GEAR TOTAL PCT EXTENDED\" 0\n"
    "effect GEAR_DOWN set \"GEAR HANDLE POSITION\" 1\n"
    "effect GEAR_DOWN set \"GEAR CENTER POSITION\" 0.5\n"
    "effect GEAR_DOWN set \"GEAR LEFT POSITION\" 0.5\n"
    "effect GEAR_DOWN set \"GEAR RIGHT POSITION\" 0.5\n"
    "effect GEAR_DOWN set \"GEAR TOTAL PCT EXTENDED\" 0.5\n"
    "effect AP_ALT_VAR_INC add \"AUTOPILOT ALTITUDE LOCK VAR\" 100\n"
    "effect AP_ALT_VAR_DEC add \"AUTOPILOT ALTITUDE LOCK VAR\" -100\n"
    "effect HEADING_BUG_INC add \"AUTOPILOT HEADING LOCK DIR\" 1\n"
    "effect AP_MASTER toggle \"AUTOPILOT MASTER\"\n"
    "effect AP_PANEL_ALTITUDE_HOLD toggle \"AUTOPILOT ALTITUDE LOCK\"\n"
    "effect AP_PANEL_HEADING_HOLD toggle \"AUTOPILOT HEADING LOCK\"\n"
    "SimStart\n"
    "at 700; set \"AUTOPILOT VERTICAL HOLD VAR\" 700\n"
    "at 1900; set \"AUTOPILOT VERTICAL HOLD VAR\" -1500\n";

struct Step {
    const char* what;
    std::vector<std::vector<std::uint8_t>> reports;  // bytes 1-3 after report ID 0
};

// Byte 1: selector bits 0-4 (ALT VS IAS HDG CRS), knob up 0x20, down 0x40,
// master 0x80; byte 2: the mode buttons.
const std::vector<Step> kPilot = {
    {"selector on ALT", {{0x01, 0, 0}}},
    {"autopilot master", {{0x81, 0, 0}, {0x01, 0, 0}}},
    {"knob up five steps",
     {{0x21, 0, 0}, {0x01, 0, 0}, {0x21, 0, 0}, {0x01, 0, 0}, {0x21, 0, 0}, {0x01, 0, 0},
      {0x21, 0, 0}, {0x01, 0, 0}, {0x21, 0, 0}, {0x01, 0, 0}}},
    {"altitude hold", {{0x01, 0x08, 0}, {0x01, 0, 0}}},
    {"selector on HDG, knob up three steps",
     {{0x08, 0, 0}, {0x28, 0, 0}, {0x08, 0, 0}, {0x28, 0, 0}, {0x08, 0, 0}, {0x28, 0, 0},
      {0x08, 0, 0}}},
    {"heading hold", {{0x08, 0x01, 0}, {0x08, 0, 0}}},
    {"selector on IAS", {{0x04, 0, 0}}},
    {"selector on CRS", {{0x10, 0, 0}}},
    {"selector back on VS", {{0x02, 0, 0}}},
};

// Radio panel input, bytes 1-3: the upper selector stays on COM1 (byte 1 bit
// 0), the lower one on NAV1 (byte 2 bit 1) until it is turned to XPDR (byte 2
// bit 5); byte 2 bit 6 is the upper swap button; byte 3 the knobs (upper
// fraction up 0x01, whole up 0x04; lower fraction up 0x10, whole up 0x40).
// Steps of one knob the same way come more than 150 ms apart, as a pilot's do.
const std::vector<Step> kRadioPilot = {
    {"upper knob, small ring: COM1 standby up two steps",
     {{0x01, 0x02, 0x01}, {0x01, 0x02, 0}, {}, {0x01, 0x02, 0x01}, {0x01, 0x02, 0}}},
    {"upper knob, large ring: COM1 standby up one MHz", {{0x01, 0x02, 0x04}, {0x01, 0x02, 0}}},
    {"upper swap button", {{0x01, 0x42, 0}, {0x01, 0x02, 0}}},
    {"lower selector on XPDR", {{0x01, 0x20, 0}}},
    {"lower knobs: transponder tens up, ones up twice",
     {{0x01, 0x20, 0x40}, {0x01, 0x20, 0}, {0x01, 0x20, 0x10}, {0x01, 0x20, 0}, {},
      {0x01, 0x20, 0x10}, {0x01, 0x20, 0}}},
};

// Switch panel input: byte 1 battery 0x01, alternator 0x02, avionics 0x04;
// byte 2 beacon 0x01, landing lights 0x10; byte 3 gear lever up 0x04, down 0x08.
const std::vector<Step> kSwitchPilot = {
    {"battery, alternator and avionics switches on (the aircraft has them on already)",
     {{0x07, 0, 0}}},
    {"beacon and landing lights on", {{0x07, 0x11, 0}}},
    {"gear lever up", {{0x07, 0x11, 0x04}}},
    {"gear lever down", {{0x07, 0x11, 0x08}}},
};

// How the demo unit's lenses are programmed (TallyProgramming.xml).
struct Lens {
    const char* assignment;
    const char* colour;
    int position;
};
const Lens kLenses[] = {
    {"GearDown", "Green", 0},     {"GearUnsafe", "Amber", 1},    {"GearUp", "Green", 2},
    {"BeaconLight", "Green", 3},  {"LandingLights", "Green", 4}, {"ParkingBrakes", "Red", 5},
    {"MasterCaution", "Amber", 6}, {"MasterWarning", "Red", 7},
};

// A unit of the panel's product is found at start, as the system's device
// list would show it.
class PresentAtStart : public IPanel {
public:
    PresentAtStart(std::unique_ptr<IPanel> inner, std::wstring path)
        : inner_(std::move(inner)), path_(std::move(path)) {}
    bool InitSimData(std::uint32_t* nextId) override {
        const bool ok = inner_->InitSimData(nextId);
        inner_->OpenDevice(path_.c_str());
        return ok;
    }
    void OpenDevice(const wchar_t* path) override { inner_->OpenDevice(path); }
    void CloseDevice(const wchar_t* path) override { inner_->CloseDevice(path); }
    void CloseAllDevices() override { inner_->CloseAllDevices(); }
    void RequestSimData() override { inner_->RequestSimData(); }
    void OnSimStop() override { inner_->OnSimStop(); }
    void OnSimObjectData(std::uint32_t requestId, const void* data, std::uint32_t size) override {
        inner_->OnSimObjectData(requestId, data, size);
    }

private:
    std::unique_ptr<IPanel> inner_;
    std::wstring path_;
};

// The lenses' names as the programming gives them, by lens.
const std::vector<const char*>& LensNames() {
    static const std::vector<const char*> names = [] {
        std::vector<const char*> n(CPanelClass_Backlit::kLenses, nullptr);
        for (const Lens& l : kLenses) n[static_cast<std::size_t>(l.position)] = l.assignment;
        return n;
    }();
    return names;
}

void Show(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void PrintWritten() {
    for (const auto& r : av::platform::VirtualHidTakeWritten(kPath)) {
        Show("  panel " + panel_display::Multi(r));
    }
}

void PrintOthers() {
    for (const auto& r : av::platform::VirtualHidTakeWritten(kRadioPath)) {
        Show("  radio panel " + panel_display::Radio(r));
    }
    for (const auto& r : av::platform::VirtualHidTakeWritten(kSwitchPath)) {
        Show("  switch panel " + panel_display::Gear(r));
    }
    for (const auto& r : av::platform::VirtualHidTakeWritten(kBacklitPath)) {
        Show("  annunciator " + panel_display::Lamps(r, LensNames().data()));
    }
}

// A pilot step on one unit: each report (an empty one is a pause), then a
// moment for the simulator to answer.
void Fly(const std::wstring& path, const char* panel, const Step& step) {
    Show(std::string("pilot, ") + panel + ": " + step.what);
    for (const auto& bytes : step.reports) {
        if (bytes.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(170));
            continue;
        }
        av::platform::VirtualHidFeed(path, {0, bytes[0], bytes[1], bytes[2]});
        av::platform::VirtualHidWaitIdle(path, 10000);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    PrintOthers();
}

std::string ProgrammingXml() {
    std::string xml = "<?xml version=\"1.0\"?>\n<Tally>\n  <TallyProgramming Id=\"DEMO-TALLY-1\">\n";
    for (const Lens& l : kLenses) {
        xml += std::string("    <Lense><Id>") + l.assignment + "</Id><Colour>" + l.colour +
               "</Colour><Assignment>" + std::to_string(l.position) + "</Assignment></Lense>\n";
    }
    return xml + "  </TallyProgramming>\n</Tally>\n";
}

void AttachUnit(const std::wstring& path, std::uint16_t product, const std::wstring& serial,
                std::uint32_t inputLength, std::vector<std::uint8_t> feature) {
    av::platform::VirtualHidUnit unit;
    unit.path = path;
    unit.vendorId = 0x2B71;
    unit.productId = product;
    unit.serial = serial;
    unit.inputReportLength = inputLength;
    unit.feature = std::move(feature);
    av::platform::VirtualHidAttach(unit);
}

int RunDemo() {
    AttachUnit(kPath, 0x0A21, L"DEMO-0001", 4, std::vector<std::uint8_t>(13, 0));
    // The radio's selectors at attach: upper COM1, lower NAV1.
    std::vector<std::uint8_t> radioFeature(23, 0);
    radioFeature[1] = 0x01;
    radioFeature[2] = 0x02;
    AttachUnit(kRadioPath, 0x0A22, L"DEMO-0002", 4, radioFeature);
    AttachUnit(kSwitchPath, 0x0A23, L"DEMO-0003", 4, {});
    AttachUnit(kBacklitPath, 0x0A24, kBacklitSerial, 0, {});

    // The annunciator's programming, in a folder of the demo's own.
    std::error_code ignored;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path(ignored) /
        ("aviaro_demo_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder, ignored);
    const std::filesystem::path programming = folder / "TallyProgramming.xml";
    {
        std::ofstream out(programming, std::ios::binary | std::ios::trunc);
        out << ProgrammingXml();
    }

    standin::SimStandIn::Instance().LoadScript(kFlight);
    CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());

    PanelSet panels = CreateShippedPanels();
    auto* backlit = dynamic_cast<CPanelClass_Backlit*>(panels[3].get());
    if (backlit == nullptr) {
        Show("the fourth shipped panel is not the backlit annunciator");
        return 1;
    }
    backlit->UseProgrammingFile(programming.wstring());
    const std::wstring paths[4] = {kPath, kRadioPath, kSwitchPath, kBacklitPath};
    for (std::size_t i = 0; i < 4; ++i) {
        panels[i] = std::make_unique<PresentAtStart>(std::move(panels[i]), paths[i]);
    }
    CAviaro app(&CreateShippedPage, std::move(panels));

    std::thread pilot([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (const Step& step : kPilot) {
            PrintWritten();
            if (!av::platform::VirtualHidWaitIdle(kPath, 10000)) break;
            Show("pilot: " + std::string(step.what));
            for (const auto& bytes : step.reports) {
                av::platform::VirtualHidFeed(kPath, {0, bytes[0], bytes[1], bytes[2]});
                av::platform::VirtualHidWaitIdle(kPath, 10000);
            }
            // The simulator answers within a frame or two.
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        PrintWritten();

        Show("== the radio, switch and annunciator panels as the flight goes on");
        Show("(radio: [upper active|standby] [lower active|standby]; annunciator: lens=colour)");
        PrintOthers();
        for (const Step& step : kRadioPilot) Fly(kRadioPath, "radio panel", step);
        for (const Step& step : kSwitchPilot) Fly(kSwitchPath, "switch panel", step);
        Show("simulator: the gear locks down");
        standin::SimStandIn::Instance().LoadScript(
            "set \"GEAR CENTER POSITION\" 1; set \"GEAR LEFT POSITION\" 1; "
            "set \"GEAR RIGHT POSITION\" 1; set \"GEAR TOTAL PCT EXTENDED\" 1\n");
        av::platform::SignalEvent(app.Event());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        PrintOthers();

        standin::SimStandIn::Instance().LoadScript("quit\n");
        av::platform::SignalEvent(app.Event());
    });
    const bool ran = app.Run(nullptr);
    pilot.join();
    Show("simulator quits");
    PrintWritten();
    PrintOthers();
    Show(std::string("altitude selected: ") +
         std::to_string(static_cast<int>(
             standin::SimStandIn::Instance().ModelValue("AUTOPILOT ALTITUDE LOCK VAR"))) +
         " ft, heading bug: " +
         std::to_string(static_cast<int>(
             standin::SimStandIn::Instance().ModelValue("AUTOPILOT HEADING LOCK DIR"))));
    const auto bcd = [](const char* name) {
        return static_cast<unsigned>(standin::SimStandIn::Instance().ModelValue(name));
    };
    char radios[96];
    std::snprintf(radios, sizeof radios, "COM1 active: 1%02x.%02x, standby: 1%02x.%02x, transponder: %04x",
                  (bcd("COM ACTIVE FREQUENCY:1") >> 8) & 0xFF, bcd("COM ACTIVE FREQUENCY:1") & 0xFF,
                  (bcd("COM STANDBY FREQUENCY:1") >> 8) & 0xFF, bcd("COM STANDBY FREQUENCY:1") & 0xFF,
                  bcd("TRANSPONDER CODE:1"));
    Show(radios);
    std::filesystem::remove_all(folder, ignored);
    return ran ? 0 : 1;
}

}  // namespace

int main() {
    // As Aviaro.exe's entry does: the annunciator's programming is read through COM.
    av::platform::ComInitialize();
    const int code = RunDemo();
    av::platform::ComUninitialize();
    return code;
}
