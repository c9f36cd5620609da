#include "plugins/aviaro/panels/panel_autopilot.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>

#include "plugins/aviaro/host/simconnect_library.h"

namespace {

// Record words.
enum : int {
    kAltitudeVar = 6,
    kVerticalSpeedVar = 7,
    kHeadingVar = 8,
    kAirspeedVar = 9,
    kCourseVar = 10,
    kThrottleArm = 11,
    kMaster = 12,
    kHeadingLock = 13,
    kNavLock = 14,
    kApproachHold = 15,
    kBackcourseHold = 16,
    kAltitudeLock = 17,
    kVerticalHold = 18,
    kAirspeedHold = 19,
    kPartialElectrical = 20,
    kPartialAvionics = 21,
};

struct Datum {
    const char* name;
    const char* unit;
    std::uint32_t type;
};

constexpr std::uint32_t kF32 = simconnect::kDataTypeFloat32;
constexpr std::uint32_t kI32 = simconnect::kDataTypeInt32;

// Datums 6 to 21; 0 to 5 are the power datums.
constexpr Datum kDatums[] = {
    {"AUTOPILOT ALTITUDE LOCK VAR", "Feet", kF32},
    {"AUTOPILOT VERTICAL HOLD VAR", "Feet/Minute", kF32},
    {"AUTOPILOT HEADING LOCK DIR", "Degrees", kF32},
    {"AUTOPILOT AIRSPEED HOLD VAR", "Knots", kF32},
    {"NAV OBS:1", "Degrees", kF32},
    {"AUTOPILOT THROTTLE ARM", "BOOL", kI32},
    {"AUTOPILOT MASTER", "BOOL", kI32},
    {"AUTOPILOT HEADING LOCK", "BOOL", kI32},
    {"AUTOPILOT NAV1 LOCK", "BOOL", kI32},
    {"AUTOPILOT APPROACH HOLD", "BOOL", kI32},
    {"AUTOPILOT BACKCOURSE HOLD", "BOOL", kI32},
    {"AUTOPILOT ALTITUDE LOCK", "BOOL", kI32},
    {"AUTOPILOT VERTICAL HOLD", "BOOL", kI32},
    {"AUTOPILOT AIRSPEED HOLD", "BOOL", kI32},
    {"PARTIAL PANEL ELECTRICAL", "ENUM", kI32},
    {"PARTIAL PANEL AVIONICS", "ENUM", kI32},
};

// Lamp bits 0-7 of byte 11, by record word.
constexpr int kLampWords[8] = {kMaster,       kHeadingLock,  kNavLock,      kAirspeedHold,
                               kAltitudeLock, kVerticalHold, kApproachHold, kBackcourseHold};

// One digit: the value divided in single precision, made positive, cut
// towards zero, modulo 10. A value too large for the display wraps; one that
// is not a number shows 0.
std::uint8_t Digit(float value, float divisor) {
    const float quotient = value / divisor;
    if (!std::isfinite(quotient)) return 0;
    return static_cast<std::uint8_t>(std::fmod(std::trunc(std::fabs(quotient)), 10.0f));
}

}  // namespace

CPanelClass_Autopilot::CPanelClass_Autopilot() : CPanelClass(record_, kRecordWords) {}

CPanelClass_Autopilot::~CPanelClass_Autopilot() {
    // Here, while OnDeviceDetached can still reach this class.
    CloseAllDevices();
}

bool CPanelClass_Autopilot::IsPanelDevice(const wchar_t* path) {
    std::uint16_t vendor = 0, product = 0;
    return CHidPanelDevice::ReadDeviceIds(path, vendor, product) && vendor == kPanelVendorId &&
           product == kProductId;
}

HRESULT CPanelClass_Autopilot::DefineSimData() {
    std::uint32_t datumId = 0;
    AddPowerData(datumId);  // the record goes on whatever it returns
    for (const Datum& d : kDatums) {
        const HRESULT hr = AddDatum(datumId, d.name, d.unit, d.type);
        if (FAILED(hr)) return hr;
    }
    increase_[0] = MapEvent("AP_ALT_VAR_INC");
    decrease_[0] = MapEvent("AP_ALT_VAR_DEC");
    increase_[1] = MapEvent("AP_VS_VAR_INC");
    decrease_[1] = MapEvent("AP_VS_VAR_DEC");
    increase_[2] = MapEvent("AP_SPD_VAR_INC");
    decrease_[2] = MapEvent("AP_SPD_VAR_DEC");
    increase_[3] = MapEvent("HEADING_BUG_INC");
    decrease_[3] = MapEvent("HEADING_BUG_DEC");
    increase_[4] = MapEvent("VOR1_OBI_INC");
    decrease_[4] = MapEvent("VOR1_OBI_DEC");
    master_ = MapEvent("AP_MASTER");
    modes_[0] = MapEvent("AP_PANEL_HEADING_HOLD");
    modes_[1] = MapEvent("AP_NAV1_HOLD");
    modes_[5] = MapEvent("AP_APR_HOLD");
    modes_[6] = MapEvent("AP_BC_HOLD");
    modes_[3] = MapEvent("AP_PANEL_ALTITUDE_HOLD");
    modes_[4] = MapEvent("AP_VS_HOLD");
    modes_[2] = MapEvent("AP_PANEL_SPEED_HOLD");
    throttleArm_ = MapEvent("AUTO_THROTTLE_ARM");
    flapsIncr_ = MapEvent("FLAPS_INCR");
    flapsDecr_ = MapEvent("FLAPS_DECR");
    trimUp_ = MapEvent("ELEV_TRIM_UP");
    trimDown_ = MapEvent("ELEV_TRIM_DN");
    return CSimConnectLibrary::Instance().SetNotificationGroupPriority(GroupId(), 1);
}

int CPanelClass_Autopilot::DecodeSelector(std::uint8_t bits) {
    switch (bits & 0x1F) {
        case 1: return 0;
        case 2: return 1;
        case 4: return 2;
        case 8: return 3;
        case 16: return 4;
        default: return -1;
    }
}

void CPanelClass_Autopilot::AltitudeDigits(float value, std::uint8_t* digits) {
    digits[0] = Digit(value, 10000.0f);
    digits[1] = Digit(value, 1000.0f);
    digits[2] = Digit(value, 100.0f);
    digits[3] = 0;
    digits[4] = 0;
}

void CPanelClass_Autopilot::VerticalSpeedDigits(float value, std::uint8_t* digits) {
    if (value < -999.9f) {
        digits[0] = kMinus;
        digits[1] = Digit(value, 1000.0f);
    } else if (value > 999.9f) {
        digits[0] = kBlank;
        digits[1] = Digit(value, 1000.0f);
    } else {
        digits[0] = kBlank;
        digits[1] = value < 0.0f ? kMinus : kBlank;
    }
    digits[2] = Digit(value, 100.0f);
    digits[3] = 0;
    digits[4] = 0;
}

void CPanelClass_Autopilot::ThreeDigits(float value, std::uint8_t* digits) {
    digits[0] = kBlank;
    digits[1] = kBlank;
    digits[2] = Digit(value, 100.0f);
    digits[3] = Digit(value, 10.0f);
    digits[4] = Digit(value, 1.0f);
}

float CPanelClass_Autopilot::Float(int word) const { return std::bit_cast<float>(record_[word]); }

bool CPanelClass_Autopilot::Active() const {
    return IsPowered(record_) && record_[kPartialElectrical] == 0 &&
           record_[kPartialAvionics] == 0;
}

void CPanelClass_Autopilot::ShowValues(CHidPanelDevice* device, bool force) {
    std::uint8_t report[kReportLength] = {};
    std::uint8_t* upper = report + 1;
    std::uint8_t* lower = report + 6;
    if (!IsPowered(record_)) {
        std::memset(report + 1, kBlank, 10);
    } else {
        const bool failed = record_[kPartialElectrical] != 0 || record_[kPartialAvionics] != 0;
        switch (device->GetValue(kPositionKey)) {
            case 0:
            case 1:
                AltitudeDigits(Float(kAltitudeVar), upper);
                VerticalSpeedDigits(Float(kVerticalSpeedVar), lower);
                break;
            case 2:
                ThreeDigits(Float(kAirspeedVar), upper);
                std::memset(lower, kBlank, 5);
                break;
            case 3:
                ThreeDigits(Float(kHeadingVar), upper);
                std::memset(lower, kBlank, 5);
                break;
            case 4:
                ThreeDigits(Float(kCourseVar), upper);
                std::memset(lower, kBlank, 5);
                break;
            default:
                std::memset(report + 1, kBlank, 10);
                break;
        }
        if (failed) {
            std::memset(report + 1, kBlank, 10);
        } else {
            for (int bit = 0; bit < 8; ++bit) {
                if (record_[kLampWords[bit]] != 0) report[11] |= static_cast<std::uint8_t>(1 << bit);
            }
        }
    }
    if (device->FeatureChanged(report, kReportLength) || force) {
        device->PostFeature(report, kReportLength);
    }
}

void CPanelClass_Autopilot::OnDeviceAttached(CHidPanelDevice* device) {
    std::uint8_t report[kReportLength] = {};  // report ID 0
    // A failed read leaves it zeroed: the selector then counts as altitude.
    device->ReadFeature(report, kReportLength);
    const int position = DecodeSelector(report[1]);
    std::lock_guard<std::mutex> lock(mutex_);
    device->SetValue(kPositionKey, position < 0 ? 0 : static_cast<std::uint32_t>(position));
    ShowValues(device, true);
}

void CPanelClass_Autopilot::OnDeviceDetached(CHidPanelDevice* device) {
    std::uint8_t report[kReportLength] = {};
    std::memset(report + 1, kDark, 10);
    device->WriteFeature(report, kReportLength);
}

void CPanelClass_Autopilot::OnInputReport(CHidPanelDevice* device, std::uint32_t length,
                                          const std::uint8_t* previous,
                                          const std::uint8_t* current) {
    // Bytes 1 to 3 are read: a shorter report (or unit) is not one of ours.
    if (length < 4 || device->InputReportLength() < 4) return;
    std::uint8_t pressed[4] = {};
    for (int i = 1; i <= 3; ++i) {
        pressed[i] = static_cast<std::uint8_t>((previous[i] ^ current[i]) & current[i]);
    }

    bool force = false;
    const int position = DecodeSelector(pressed[1]);
    if (position >= 0 && static_cast<std::uint32_t>(position) != device->GetValue(kPositionKey)) {
        device->SetValue(kPositionKey, static_cast<std::uint32_t>(position));
        force = true;
    }

    const bool active = Active();
    const std::uint32_t stored = device->GetValue(kPositionKey);
    if (stored < 5 && active) {
        if (pressed[1] & 0x20) SendEvent(increase_[stored], 0);
        if (pressed[1] & 0x40) SendEvent(decrease_[stored], 0);
    }
    if (active && (pressed[1] & 0x80)) SendEvent(master_, 0);
    if (active) {
        for (int bit = 0; bit < 7; ++bit) {
            if (pressed[2] & (1 << bit)) SendEvent(modes_[static_cast<std::size_t>(bit)], 0);
        }
    }
    // A toggle: sent only to bring the simulator to the switch's position.
    if ((previous[2] ^ current[2]) & 0x80) {
        const std::uint32_t armed = (current[2] & 0x80) != 0 ? 1 : 0;
        if (armed != record_[kThrottleArm]) SendEvent(throttleArm_, 0);
    }
    if (pressed[3] & 0x01) SendEvent(flapsDecr_, 0);
    if (pressed[3] & 0x02) SendEvent(flapsIncr_, 0);
    if (pressed[3] & 0x04) SendEvent(trimDown_, 0);
    if (pressed[3] & 0x08) SendEvent(trimUp_, 0);

    ShowValues(device, force);
}
