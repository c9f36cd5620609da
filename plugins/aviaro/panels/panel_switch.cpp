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

struct Datum {
    const char* name;
    const char* unit;
    std::uint32_t type;
    float epsilon;
};

constexpr std::uint32_t kF32 = simconnect::kDataTypeFloat32;
constexpr std::uint32_t kI32 = simconnect::kDataTypeInt32;

constexpr Datum kDatums[] = {
    {"ELECTRICAL MASTER BATTERY", "Bool", kI32, 0.0f},
    {"GENERAL ENG MASTER ALTERNATOR:1", "Bool", kI32, 0.0f},
    {"GENERAL ENG MASTER ALTERNATOR:2", "Bool", kI32, 0.0f},
    {"GENERAL ENG MASTER ALTERNATOR:3", "Bool", kI32, 0.0f},
    {"GENERAL ENG MASTER ALTERNATOR:4", "Bool", kI32, 0.0f},
    {"AVIONICS MASTER SWITCH", "Bool", kI32, 0.0f},
    {"GENERAL ENG FUEL PUMP SWITCH:1", "Bool", kI32, 0.0f},
    {"GENERAL ENG FUEL PUMP SWITCH:2", "Bool", kI32, 0.0f},
    {"GENERAL ENG FUEL PUMP SWITCH:3", "Bool", kI32, 0.0f},
    {"GENERAL ENG FUEL PUMP SWITCH:4", "Bool", kI32, 0.0f},
    {"PANEL ANTI ICE SWITCH", "Bool", kI32, 0.0f},
    {"PITOT HEAT", "Bool", kI32, 0.0f},
    {"RECIP ENG COWL FLAP POSITION:1", "Percent", kF32, 0.05f},
    {"RECIP ENG COWL FLAP POSITION:2", "Percent", kF32, 0.05f},
    {"RECIP ENG COWL FLAP POSITION:3", "Percent", kF32, 0.05f},
    {"RECIP ENG COWL FLAP POSITION:4", "Percent", kF32, 0.05f},
    {"LIGHT PANEL", "Bool", kI32, 0.0f},
    {"LIGHT BEACON", "Bool", kI32, 0.0f},
    {"LIGHT NAV", "Bool", kI32, 0.0f},
    {"LIGHT STROBE", "Bool", kI32, 0.0f},
    {"LIGHT TAXI", "Bool", kI32, 0.0f},
    {"LIGHT LANDING", "Bool", kI32, 0.0f},
    {"GEAR HANDLE POSITION", "Bool", kI32, 0.0f},
    {"IS GEAR RETRACTABLE", "Bool", kI32, 0.0f},
    {"GEAR CENTER POSITION", "Percent Over 100", kF32, 0.0f},
    {"GEAR LEFT POSITION", "Percent Over 100", kF32, 0.0f},
    {"GEAR RIGHT POSITION", "Percent Over 100", kF32, 0.0f},
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

CPanelClass_Switch::CPanelClass_Switch() : CPanelClass(record_, kRecordWords) {
    static_assert(sizeof(kEventNames) / sizeof(kEventNames[0]) == kEventCount);
}

CPanelClass_Switch::~CPanelClass_Switch() {
    // Here, while OnDeviceDetached can still reach this class.
    CloseAllDevices();
}

bool CPanelClass_Switch::IsPanelDevice(const wchar_t* path) {
    std::uint16_t vendor = 0, product = 0;
    return CHidPanelDevice::ReadDeviceIds(path, vendor, product) && vendor == kPanelVendorId &&
           product == kProductId;
}

HRESULT CPanelClass_Switch::DefineSimData() {
    std::uint32_t datumId = 0;
    for (const Datum& d : kDatums) {
        const HRESULT hr = AddDatum(datumId, d.name, d.unit, d.type, d.epsilon);
        if (FAILED(hr)) return hr;
    }
    for (std::size_t i = 0; i < kEventCount; ++i) events_[i] = MapEvent(kEventNames[i]);
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
