// A virtual multi panel in a short flight: the shipped application (its wait
// loop, its panels) against the simulator stand-in's aircraft, with a
// simulated unit that a scripted pilot turns and presses. Every display
// report the unit receives is printed as the panel would show it.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid_device.h"
#include "platform/message_loop.h"
#include "plugins/aviaro/app/aviaro_parts.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "tools/simconnect_standin/sim_standin.h"

namespace {

const std::wstring kPath = L"\\\\?\\hid#vid_2b71&pid_0a21#demo&0&0000";

// The aircraft, and what the simulator does by itself (ms after connecting).
const char* const kFlight =
    "init \"AVIONICS MASTER SWITCH\" 1\n"
    "init \"ELECTRICAL MASTER BATTERY\" 1\n"
    "init \"GENERAL ENG MASTER ALTERNATOR:1\" 1\n"
    "init \"AUTOPILOT ALTITUDE LOCK VAR\" 3000\n"
    "init \"AUTOPILOT HEADING LOCK DIR\" 270\n"
    "init \"AUTOPILOT AIRSPEED HOLD VAR\" 120\n"
    "init \"NAV OBS:1\" 95\n"
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

// The unit is found at start, as the system's device list would show it.
class PresentAtStart : public IPanel {
public:
    explicit PresentAtStart(std::unique_ptr<IPanel> inner) : inner_(std::move(inner)) {}
    bool InitSimData(std::uint32_t* nextId) override {
        const bool ok = inner_->InitSimData(nextId);
        inner_->OpenDevice(kPath.c_str());
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
};

char DigitChar(std::uint8_t d) {
    if (d <= 9) return static_cast<char>('0' + d);
    if (d == 0x0E) return '-';
    if (d == 0x0F) return '_';
    return ' ';
}

std::string Render(const std::vector<std::uint8_t>& r) {
    if (r.size() != 13) return "(a report of " + std::to_string(r.size()) + " bytes)";
    static const char* const kLamps[8] = {"AP", "HDG", "NAV", "IAS", "ALT", "VS", "APR", "BC"};
    std::string s = "[";
    for (int i = 1; i <= 5; ++i) s += DigitChar(r[static_cast<std::size_t>(i)]);
    s += "|";
    for (int i = 6; i <= 10; ++i) s += DigitChar(r[static_cast<std::size_t>(i)]);
    s += "]";
    for (int bit = 0; bit < 8; ++bit) {
        const std::string name = kLamps[bit];
        s += " " + ((r[11] >> bit) & 1 ? name : std::string(name.size(), '.'));
    }
    return s;
}

void Show(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void PrintWritten() {
    for (const auto& r : av::platform::VirtualHidTakeWritten(kPath)) Show("  panel " + Render(r));
}

}  // namespace

int main() {
    av::platform::VirtualHidUnit unit;
    unit.path = kPath;
    unit.vendorId = 0x2B71;
    unit.productId = 0x0A21;
    unit.serial = L"DEMO-0001";
    unit.inputReportLength = 4;
    unit.feature.assign(13, 0);
    av::platform::VirtualHidAttach(unit);

    standin::SimStandIn::Instance().LoadScript(kFlight);
    CSimConnectLibrary::Instance().UseEntryTable(standin::SimStandIn::Entries());

    PanelSet panels = CreateShippedPanels();
    panels[0] = std::make_unique<PresentAtStart>(std::move(panels[0]));
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
        standin::SimStandIn::Instance().LoadScript("quit\n");
        av::platform::SignalEvent(app.Event());
    });
    const bool ran = app.Run(nullptr);
    pilot.join();
    Show("simulator quits");
    PrintWritten();
    Show(std::string("altitude selected: ") +
         std::to_string(static_cast<int>(
             standin::SimStandIn::Instance().ModelValue("AUTOPILOT ALTITUDE LOCK VAR"))) +
         " ft, heading bug: " +
         std::to_string(static_cast<int>(
             standin::SimStandIn::Instance().ModelValue("AUTOPILOT HEADING LOCK DIR"))));
    return ran ? 0 : 1;
}
