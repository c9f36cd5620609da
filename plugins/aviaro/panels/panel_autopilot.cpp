#include "plugins/aviaro/panels/panel_autopilot.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/sync.h"
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

// Datums 6 to 21; 0 to 5 are the power datums.
constexpr PanelDatum kDatums[] = {
    {"AUTOPILOT ALTITUDE LOCK VAR", "Feet", kDatumF32},
    {"AUTOPILOT VERTICAL HOLD VAR", "Feet/Minute", kDatumF32},
    {"AUTOPILOT HEADING LOCK DIR", "Degrees", kDatumF32},
    {"AUTOPILOT AIRSPEED HOLD VAR", "Knots", kDatumF32},
    {"NAV OBS:1", "Degrees", kDatumF32},
    {"AUTOPILOT THROTTLE ARM", "BOOL", kDatumI32},
    {"AUTOPILOT MASTER", "BOOL", kDatumI32},
    {"AUTOPILOT HEADING LOCK", "BOOL", kDatumI32},
    {"AUTOPILOT NAV1 LOCK", "BOOL", kDatumI32},
    {"AUTOPILOT APPROACH HOLD", "BOOL", kDatumI32},
    {"AUTOPILOT BACKCOURSE HOLD", "BOOL", kDatumI32},
    {"AUTOPILOT ALTITUDE LOCK", "BOOL", kDatumI32},
    {"AUTOPILOT VERTICAL HOLD", "BOOL", kDatumI32},
    {"AUTOPILOT AIRSPEED HOLD", "BOOL", kDatumI32},
    {"PARTIAL PANEL ELECTRICAL", "ENUM", kDatumI32},
    {"PARTIAL PANEL AVIONICS", "ENUM", kDatumI32},
};

// In the order of CPanelClass_Autopilot's Event.
constexpr const char* kEventNames[] = {
    "AP_ALT_VAR_INC",
    "AP_ALT_VAR_DEC",
    "AP_VS_VAR_INC",
    "AP_VS_VAR_DEC",
    "AP_SPD_VAR_INC",
    "AP_SPD_VAR_DEC",
    "HEADING_BUG_INC",
    "HEADING_BUG_DEC",
    "VOR1_OBI_INC",
    "VOR1_OBI_DEC",
    "AP_MASTER",
    "AP_PANEL_HEADING_HOLD",
    "AP_NAV1_HOLD",
    "AP_APR_HOLD",
    "AP_BC_HOLD",
    "AP_PANEL_ALTITUDE_HOLD",
    "AP_VS_HOLD",
    "AP_PANEL_SPEED_HOLD",
    "AUTO_THROTTLE_ARM",
    "FLAPS_INCR",
    "FLAPS_DECR",
    "ELEV_TRIM_UP",
    "ELEV_TRIM_DN",
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

CPanelClass_Autopilot::CPanelClass_Autopilot() : CPanelClass(kProductId, record_, kRecordWords) {}

CPanelClass_Autopilot::~CPanelClass_Autopilot() {
    // Here, while OnDeviceDetached can still reach this class.
    CloseAllDevices();
}

HRESULT CPanelClass_Autopilot::DefineSimData() {
    std::uint32_t datumId = 0;
    AddPowerData(datumId);  // the record goes on whatever it returns
    const HRESULT hr = AddData(datumId, kDatums);
    if (FAILED(hr)) return hr;
    MapEvents(kEventNames, events_);
    return CSimConnectLibrary::Instance().SetNotificationGroupPriority(GroupId(), 1);
}

int CPanelClass_Autopilot::DecodeSelector(std::uint8_t bits) { return SingleBitIndex(bits & 0x1F); }

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
    if (!Active()) {
        // Unpowered or failed: dark digits and lamps.
        std::memset(report + 1, kBlank, 10);
    } else {
        // Positions 2 to 4 show one value of three digits on the upper display.
        static constexpr int kThreeDigitWords[] = {kAirspeedVar, kHeadingVar, kCourseVar};
        const std::uint32_t position = device->GetValue(kPositionKey);
        if (position <= 1) {
            AltitudeDigits(Float(kAltitudeVar), upper);
            VerticalSpeedDigits(Float(kVerticalSpeedVar), lower);
        } else if (position <= 4) {
            ThreeDigits(Float(kThreeDigitWords[position - 2]), upper);
            std::memset(lower, kBlank, 5);
        } else {
            std::memset(report + 1, kBlank, 10);
        }
        for (int bit = 0; bit < 8; ++bit) {
            if (record_[kLampWords[bit]] != 0) report[11] |= static_cast<std::uint8_t>(1 << bit);
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
    std::lock_guard<av::Mutex> lock(mutex_);
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
    std::uint8_t pressed[4];
    PressedBits(previous, current, pressed);

    bool force = false;
    const int position = DecodeSelector(pressed[1]);
    if (position >= 0 && static_cast<std::uint32_t>(position) != device->GetValue(kPositionKey)) {
        device->SetValue(kPositionKey, static_cast<std::uint32_t>(position));
        force = true;
    }

    if (Active()) {
        const std::uint32_t stored = device->GetValue(kPositionKey);
        if (stored < 5) {
            if (pressed[1] & 0x20) SendEvent(events_[kIncrease0 + 2 * stored], 0);
            if (pressed[1] & 0x40) SendEvent(events_[kIncrease0 + 2 * stored + 1], 0);
        }
        if (pressed[1] & 0x80) SendEvent(events_[kMasterEvent], 0);
        for (int bit = 0; bit < 7; ++bit) {
            if (pressed[2] & (1 << bit)) SendEvent(events_[kModeEvents[bit]], 0);
        }
    }
    // A toggle: sent only to bring the simulator to the switch's position.
    if ((previous[2] ^ current[2]) & 0x80) {
        const std::uint32_t armed = (current[2] & 0x80) != 0 ? 1 : 0;
        if (armed != record_[kThrottleArm]) SendEvent(events_[kThrottleArmEvent], 0);
    }
    if (pressed[3] & 0x01) SendEvent(events_[kFlapsDecr], 0);
    if (pressed[3] & 0x02) SendEvent(events_[kFlapsIncr], 0);
    if (pressed[3] & 0x04) SendEvent(events_[kTrimDown], 0);
    if (pressed[3] & 0x08) SendEvent(events_[kTrimUp], 0);

    ShowValues(device, force);
}
