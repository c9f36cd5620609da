#include "plugins/aviaro/panels/panel_switch.h"

#include <bit>
#include <mutex>

#include "plugins/aviaro/host/simconnect_library.h"

namespace {

// Record words.
enum : int {
    kBatteryWord = 0,
    kAlternatorWord1 = 1,  // to 4
    kAvionicsWord = 5,
    kFuelPumpWord1 = 6,  // to 9
    kPitotWord = 11,
    kPanelLightWord = 16,  // then beacon, nav, strobe, taxi, landing
    kRetractableWord = 23,
    kGearWord1 = 24,  // nose, left, right
};

constexpr PanelDatum kDatums[] = {
    {"ELECTRICAL MASTER BATTERY", "Bool", kDatumI32},
    {"GENERAL ENG MASTER ALTERNATOR:1", "Bool", kDatumI32},
    {"GENERAL ENG MASTER ALTERNATOR:2", "Bool", kDatumI32},
    {"GENERAL ENG MASTER ALTERNATOR:3", "Bool", kDatumI32},
    {"GENERAL ENG MASTER ALTERNATOR:4", "Bool", kDatumI32},
    {"AVIONICS MASTER SWITCH", "Bool", kDatumI32},
    {"GENERAL ENG FUEL PUMP SWITCH:1", "Bool", kDatumI32},
    {"GENERAL ENG FUEL PUMP SWITCH:2", "Bool", kDatumI32},
    {"GENERAL ENG FUEL PUMP SWITCH:3", "Bool", kDatumI32},
    {"GENERAL ENG FUEL PUMP SWITCH:4", "Bool", kDatumI32},
    {"PANEL ANTI ICE SWITCH", "Bool", kDatumI32},
    {"PITOT HEAT", "Bool", kDatumI32},
    {"RECIP ENG COWL FLAP POSITION:1", "Percent", kDatumF32, 0.05f},
    {"RECIP ENG COWL FLAP POSITION:2", "Percent", kDatumF32, 0.05f},
    {"RECIP ENG COWL FLAP POSITION:3", "Percent", kDatumF32, 0.05f},
    {"RECIP ENG COWL FLAP POSITION:4", "Percent", kDatumF32, 0.05f},
    {"LIGHT PANEL", "Bool", kDatumI32},
    {"LIGHT BEACON", "Bool", kDatumI32},
    {"LIGHT NAV", "Bool", kDatumI32},
    {"LIGHT STROBE", "Bool", kDatumI32},
    {"LIGHT TAXI", "Bool", kDatumI32},
    {"LIGHT LANDING", "Bool", kDatumI32},
    {"GEAR HANDLE POSITION", "Bool", kDatumI32},
    {"IS GEAR RETRACTABLE", "Bool", kDatumI32},
    {"GEAR CENTER POSITION", "Percent Over 100", kDatumF32},
    {"GEAR LEFT POSITION", "Percent Over 100", kDatumF32},
    {"GEAR RIGHT POSITION", "Percent Over 100", kDatumF32},
};

constexpr const char* kEventNames[] = {
    "GEAR_UP",
    "GEAR_DOWN",
    "TOGGLE_MASTER_BATTERY",
    "TOGGLE_ALTERNATOR1",
    "TOGGLE_ALTERNATOR2",
    "TOGGLE_ALTERNATOR3",
    "TOGGLE_ALTERNATOR4",
    "TOGGLE_AVIONICS_MASTER",
    "TOGGLE_ELECT_FUEL_PUMP1",
    "TOGGLE_ELECT_FUEL_PUMP2",
    "TOGGLE_ELECT_FUEL_PUMP3",
    "TOGGLE_ELECT_FUEL_PUMP4",
    "ANTI_ICE_SET",
    "PITOT_HEAT_TOGGLE",
    "COWLFLAP1_SET",
    "COWLFLAP2_SET",
    "COWLFLAP3_SET",
    "COWLFLAP4_SET",
    "PANEL_LIGHTS_TOGGLE",
    "TOGGLE_BEACON_LIGHTS",
    "TOGGLE_NAV_LIGHTS",
    "STROBES_TOGGLE",
    "TOGGLE_TAXI_LIGHTS",
    "LANDING_LIGHTS_TOGGLE",
    "MAGNETO1_SET",
    "MAGNETO2_SET",
    "MAGNETO3_SET",
    "MAGNETO4_SET",
};

constexpr std::uint32_t kCowlFlapsOpen = 16383;

}  // namespace

CPanelClass_Switch::CPanelClass_Switch() : CPanelClass(kProductId, record_, kRecordWords) {}

CPanelClass_Switch::~CPanelClass_Switch() {
    // Here, while OnDeviceDetached can still reach this class.
    CloseAllDevices();
}

HRESULT CPanelClass_Switch::DefineSimData() {
    std::uint32_t datumId = 0;
    const HRESULT hr = AddData(datumId, kDatums);
    if (FAILED(hr)) return hr;
    MapEvents(kEventNames, events_);
    return CSimConnectLibrary::Instance().SetNotificationGroupPriority(GroupId(), 1);
}

std::uint8_t CPanelClass_Switch::GearLamps(const std::uint32_t* record) {
    const bool electric = record[kBatteryWord] != 0 || record[kAlternatorWord1] != 0 ||
                          record[kAlternatorWord1 + 1] != 0 || record[kAlternatorWord1 + 2] != 0 ||
                          record[kAlternatorWord1 + 3] != 0;
    if (record[kRetractableWord] == 0 || !electric) return 0;
    std::uint8_t lamps = 0;
    for (int gear = 0; gear < 3; ++gear) {
        const float position = std::bit_cast<float>(record[kGearWord1 + gear]);
        if (position > 0.99f) {
            lamps |= static_cast<std::uint8_t>(1 << gear);
        } else if (position >= 0.01f) {
            lamps |= static_cast<std::uint8_t>(8 << gear);
        }
    }
    return lamps;
}

void CPanelClass_Switch::ShowGear(CHidPanelDevice* device) {
    const std::uint8_t report[kLampReportLength] = {0, GearLamps(record_)};
    device->PostFeature(report, kLampReportLength);
}

void CPanelClass_Switch::OnDeviceAttached(CHidPanelDevice* device) {
    const std::uint8_t report[kLampReportLength] = {0, 0};
    device->WriteFeature(report, kLampReportLength);
}

void CPanelClass_Switch::OnDeviceDetached(CHidPanelDevice* device) {
    const std::uint8_t report[kLampReportLength] = {0, 0};
    device->WriteFeature(report, kLampReportLength);
}

int CPanelClass_Switch::MagnetoPosition(const std::uint8_t* report) {
    if (report[2] & 0x20) return 1;
    if (report[2] & 0x40) return 2;
    if (report[2] & 0x80) return 3;
    if (report[3] & 0x01) return 4;
    if (report[3] & 0x02) return 5;
    return 0;
}

void CPanelClass_Switch::OnInputReport(CHidPanelDevice* device, std::uint32_t length,
                                       const std::uint8_t* previous,
                                       const std::uint8_t* current) {
    if (length != kInputLength || device->InputReportLength() < kInputLength) return;

    auto changed = [&](int byte, std::uint8_t bit) {
        return ((previous[byte] ^ current[byte]) & bit) != 0;
    };
    auto level = [&](int byte, std::uint8_t bit) -> std::uint32_t {
        return (current[byte] & bit) != 0 ? 1 : 0;
    };
    // A toggle goes out only to bring the simulator to the switch.
    auto toggle = [&](int byte, std::uint8_t bit, std::size_t event, int word) {
        if (changed(byte, bit) && level(byte, bit) != (record_[word] != 0 ? 1u : 0u)) {
            SendEvent(events_[event], 0);
        }
    };

    toggle(1, 0x01, kBattery, kBatteryWord);
    for (int n = 0; n < 4; ++n) {
        toggle(1, 0x02, kAlternator1 + static_cast<std::size_t>(n), kAlternatorWord1 + n);
    }
    toggle(1, 0x04, kAvionics, kAvionicsWord);
    for (int n = 0; n < 4; ++n) {
        toggle(1, 0x08, kFuelPump1 + static_cast<std::size_t>(n), kFuelPumpWord1 + n);
    }
    if (changed(1, 0x10)) SendEvent(events_[kAntiIce], level(1, 0x10));
    toggle(1, 0x20, kPitotHeat, kPitotWord);
    if (changed(1, 0x40)) {
        const std::uint32_t data = level(1, 0x40) != 0 ? 0 : kCowlFlapsOpen;
        for (std::size_t n = 0; n < 4; ++n) SendEvent(events_[kCowlFlap1 + n], data);
    }
    toggle(1, 0x80, kPanelLights, kPanelLightWord);
    for (int n = 0; n < 5; ++n) {
        toggle(2, static_cast<std::uint8_t>(1 << n), kBeacon + static_cast<std::size_t>(n),
               kPanelLightWord + 1 + n);
    }

    const int magneto = MagnetoPosition(current);
    if (magneto != 0 && magneto != MagnetoPosition(previous)) {
        for (std::size_t n = 0; n < 4; ++n) {
            SendEvent(events_[kMagneto1 + n], static_cast<std::uint32_t>(magneto - 1));
        }
    }

    if (changed(3, 0x04) && level(3, 0x04) != 0) {
        SendEvent(events_[kGearUp], 0);
    } else if (changed(3, 0x08) && level(3, 0x08) != 0) {
        SendEvent(events_[kGearDown], 0);
    }
}
