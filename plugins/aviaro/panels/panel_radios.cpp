#include "plugins/aviaro/panels/panel_radios.h"

#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/sync.h"
#include "plugins/aviaro/host/simconnect_library.h"

namespace {

// Record words.
enum : int {
    kCom1Active = 6,
    kCom1Standby = 7,
    kCom2Active = 8,
    kCom2Standby = 9,
    kNav1Active = 10,
    kNav1Standby = 11,
    kNav2Active = 12,
    kNav2Standby = 13,
    kAdfActive = 14,
    kTransponder = 16,
    kDme = 17,
    kDmeSpeed = 18,
    kPartialElectrical = 19,
    kDmeRightStatus = 26,
};

// Datums 6 to 26; 0 to 5 are the power datums. The avionics failure is asked
// for four times so that every radio position has a status word of its own.
constexpr PanelDatum kDatums[] = {
    {"com active frequency:1", "Frequency BCD16", kDatumI32},
    {"com standby frequency:1", "Frequency BCD16", kDatumI32},
    {"com active frequency:2", "Frequency BCD16", kDatumI32},
    {"com standby frequency:2", "Frequency BCD16", kDatumI32},
    {"nav active frequency:1", "Frequency BCD16", kDatumI32},
    {"nav standby frequency:1", "Frequency BCD16", kDatumI32},
    {"nav active frequency:2", "Frequency BCD16", kDatumI32},
    {"nav standby frequency:2", "Frequency BCD16", kDatumI32},
    {"adf active frequency:1", "Frequency ADF BCD32", kDatumI32},
    {"adf standby frequency:1", "Frequency ADF BCD32", kDatumI32},
    {"transponder code:1", "BCO16", kDatumI32},
    {"nav dme:1", "nmiles", kDatumF32},
    {"nav dmespeed:1", "Knots", kDatumF32},
    {"PARTIAL PANEL ELECTRICAL", "ENUM", kDatumI32},
    {"COM STATUS:1", "ENUM", kDatumI32},
    {"COM STATUS:2", "ENUM", kDatumI32},
    {"PARTIAL PANEL AVIONICS", "ENUM", kDatumI32},
    {"PARTIAL PANEL AVIONICS", "ENUM", kDatumI32},
    {"PARTIAL PANEL AVIONICS", "ENUM", kDatumI32},
    {"PARTIAL PANEL TRANSPONDER", "ENUM", kDatumI32},
    {"PARTIAL PANEL AVIONICS", "ENUM", kDatumI32},
};

// Each tuned position's events, in the order of CPanelClass_Radios::RadioEvent.
constexpr const char* kRadioEvents[5][5] = {
    {"COM_RADIO_WHOLE_INC", "COM_RADIO_WHOLE_DEC", "COM_RADIO_FRACT_INC", "COM_RADIO_FRACT_DEC",
     "COM_STBY_RADIO_SWAP"},
    {"COM2_RADIO_WHOLE_INC", "COM2_RADIO_WHOLE_DEC", "COM2_RADIO_FRACT_INC",
     "COM2_RADIO_FRACT_DEC", "COM2_RADIO_SWAP"},
    {"NAV1_RADIO_WHOLE_INC", "NAV1_RADIO_WHOLE_DEC", "NAV1_RADIO_FRACT_INC",
     "NAV1_RADIO_FRACT_DEC", "NAV1_RADIO_SWAP"},
    {"NAV2_RADIO_WHOLE_INC", "NAV2_RADIO_WHOLE_DEC", "NAV2_RADIO_FRACT_INC",
     "NAV2_RADIO_FRACT_DEC", "NAV2_RADIO_SWAP"},
    {"ADF1_WHOLE_INC", "ADF1_WHOLE_DEC", "ADF1_RADIO_TENTHS_INC", "ADF1_RADIO_TENTHS_DEC",
     "ADF1_RADIO_SWAP"},
};

constexpr const char* kTransponderEvents[8] = {
    "XPNDR_1000_INC", "XPNDR_1000_DEC", "XPNDR_100_INC", "XPNDR_100_DEC",
    "XPNDR_10_INC",   "XPNDR_10_DEC",   "XPNDR_1_INC",   "XPNDR_1_DEC",
};

// The word that marks a radio position as failed for input; any other
// position reads the electrical failure.
int InputStatusWord(std::uint32_t position) {
    return position <= 6 ? 20 + static_cast<int>(position) : kPartialElectrical;
}

// Positions from the newly set selector bits; -1 when they do not decode.
int UpperPosition(std::uint8_t byte1) { return SingleBitIndex(byte1 & 0x7F); }

// Position 0 is byte 1 bit 7, whatever byte 2 holds; 1 to 6 are byte 2 bits 0-5.
int LowerPosition(std::uint8_t byte1, std::uint8_t byte2) {
    if (byte1 & 0x80) return 0;
    const int bit = SingleBitIndex(byte2);
    return bit >= 0 && bit < 6 ? bit + 1 : -1;
}

// One DME digit: cut towards zero, modulo 10; a value that is not a number
// shows 0.
std::uint8_t Digit(float value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<std::uint8_t>(std::fmod(std::trunc(std::fabs(value)), 10.0f));
}

// The value rounded to single precision: a 32-bit x86 build computes in the
// FPU's wider format and would otherwise cut 2456.99996 instead of 2457.
float Single(float value) {
    volatile float stored = value;
    return stored;
}

std::uint8_t Nibble(std::uint32_t value, int index) {
    return static_cast<std::uint8_t>((value >> (4 * index)) & 0x0F);
}

std::uint32_t SteadyTicks() {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

}  // namespace

CPanelClass_Radios::CPanelClass_Radios() : CPanelClass(kProductId, record_, kRecordWords) {}

CPanelClass_Radios::~CPanelClass_Radios() {
    // Here, while OnDeviceDetached can still reach this class.
    CloseAllDevices();
}

HRESULT CPanelClass_Radios::DefineSimData() {
    std::uint32_t datumId = 0;
    AddPowerData(datumId);  // the record goes on whatever it returns
    const HRESULT hr = AddData(datumId, kDatums);
    if (FAILED(hr)) return hr;
    // The ADF comes after the transponder.
    for (std::size_t position = 0; position < 4; ++position) {
        MapEvents(kRadioEvents[position], radio_[position]);
    }
    MapEvents(kTransponderEvents, transponder_);
    MapEvents(kRadioEvents[4], radio_[4]);
    return CSimConnectLibrary::Instance().SetNotificationGroupPriority(GroupId(), 1);
}

std::uint32_t CPanelClass_Radios::Now() const { return clock_ ? clock_() : SteadyTicks(); }

bool CPanelClass_Radios::Accept(KnobFilter& f, std::uint16_t direction, std::uint32_t now) {
    if (direction == 0) return true;

    if (f.reversalTime == KnobFilter::kUnsetTime) {
        f.reversalTime = now;
        f.reversalDirection = direction;
    }
    if (direction != f.reversalDirection && now - f.reversalTime < 100) {
        f.reversalDirection = direction;
        f.reversalTime = KnobFilter::kUnsetTime;
        return false;
    }
    f.reversalDirection = direction;
    f.reversalTime = now;

    if (f.repeatDirection == KnobFilter::kUnsetDirection) f.repeatDirection = direction;
    if (f.repeatTime == KnobFilter::kUnsetTime) {
        f.repeatTime = now;
        f.repeatDirection = direction;
        return true;
    }
    if (direction == f.repeatDirection && now - f.repeatTime < 150) {
        f.repeatTime = KnobFilter::kUnsetTime;
        return false;
    }
    f.repeatDirection = direction;
    f.repeatTime = now;
    return true;
}

void CPanelClass_Radios::FrequencyDigits(std::uint32_t bcd16, std::uint8_t* digits) {
    digits[0] = 1;
    digits[1] = Nibble(bcd16, 3);
    digits[2] = static_cast<std::uint8_t>(kPoint | Nibble(bcd16, 2));
    digits[3] = Nibble(bcd16, 1);
    digits[4] = Nibble(bcd16, 0);
}

void CPanelClass_Radios::AdfDigits(std::uint32_t bcd32, std::uint8_t* digits) {
    digits[0] = Nibble(bcd32, 7);
    digits[1] = Nibble(bcd32, 6);
    digits[2] = Nibble(bcd32, 5);
    digits[3] = static_cast<std::uint8_t>(kPoint | Nibble(bcd32, 4));
    digits[4] = Nibble(bcd32, 3);
}

void CPanelClass_Radios::TransponderDigits(std::uint32_t bco16, std::uint8_t* digits) {
    digits[0] = kBlank;
    digits[1] = Nibble(bco16, 3);
    digits[2] = Nibble(bco16, 2);
    digits[3] = Nibble(bco16, 1);
    digits[4] = Nibble(bco16, 0);
}

void CPanelClass_Radios::DmeDigits(float value, std::uint8_t* digits) {
    digits[0] = kBlank;
    digits[1] = Digit(Single(value / 100.0f));
    digits[2] = Digit(Single(value / 10.0f));
    digits[3] = static_cast<std::uint8_t>(kPoint | Digit(value));
    digits[4] = Digit(Single(value * 10.0f));
}

void CPanelClass_Radios::RowDigits(std::uint32_t position, std::uint8_t* left,
                                   std::uint8_t* right) const {
    std::memset(left, kBlank, 5);
    std::memset(right, kBlank, 5);
    switch (position) {
        case 0:
        case 1:
        case 2:
        case 3: {
            if (record_[20 + position] != 0) return;
            const int active = kCom1Active + 2 * static_cast<int>(position);
            FrequencyDigits(record_[active], left);
            FrequencyDigits(record_[active + 1], right);
            return;
        }
        case 4:
            if (record_[24] == 0) AdfDigits(record_[kAdfActive], right);
            return;
        case 5:
            if (record_[25] == 0) DmeDigits(std::bit_cast<float>(record_[kDme]), left);
            if (record_[kDmeRightStatus] == 0) {
                DmeDigits(std::bit_cast<float>(record_[kDmeSpeed]), right);
            }
            return;
        case 6:
            if (record_[25] == 0) TransponderDigits(record_[kTransponder], right);
            return;
        default:
            return;
    }
}

void CPanelClass_Radios::ShowValues(CHidPanelDevice* device, bool force) {
    std::uint8_t report[kReportLength] = {};
    std::memset(report + 1, kBlank, 20);
    if (IsPowered(record_)) {
        RowDigits(device->GetValue(kUpperPositionKey), report + 1, report + 6);
        RowDigits(device->GetValue(kLowerPositionKey), report + 11, report + 16);
    }
    if (device->FeatureChanged(report, kReportLength) || force) {
        device->PostFeature(report, kReportLength);
    }
}

void CPanelClass_Radios::OnDeviceAttached(CHidPanelDevice* device) {
    std::uint8_t report[kReportLength] = {};  // report ID 0
    // A failed read leaves it zeroed: both rows then start on COM2.
    device->ReadFeature(report, kReportLength);
    const int upper = UpperPosition(report[1]);
    const int lower = LowerPosition(report[1], report[2]);
    std::lock_guard<av::Mutex> lock(mutex_);
    device->SetValue(kUpperPositionKey, upper < 0 ? 1u : static_cast<std::uint32_t>(upper));
    device->SetValue(kLowerPositionKey, lower < 0 ? 1u : static_cast<std::uint32_t>(lower));
    ShowValues(device, true);
}

void CPanelClass_Radios::OnDeviceDetached(CHidPanelDevice* device) {
    std::uint8_t report[kReportLength] = {};
    std::memset(report + 1, kBlank, kReportLength - 1);
    device->WriteFeature(report, kReportLength);
}

void CPanelClass_Radios::RowInput(CHidPanelDevice* device, const RowBits& row,
                                  const std::uint8_t* pressed) {
    const std::uint32_t position = device->GetValue(row.positionKey);
    const bool live = IsPowered(record_) && record_[InputStatusWord(position)] == 0;
    if (position == 6) {
        const bool pair = device->GetValue(row.pairKey) == 1;
        if (live) {
            // Index into transponder_: the pair picks 1000/100 or 10/1.
            if (pressed[3] & row.fractionInc) SendEvent(transponder_[pair ? 2 : 6], 0);
            if (pressed[3] & row.fractionDec) SendEvent(transponder_[pair ? 3 : 7], 0);
            if (pressed[3] & row.wholeInc) SendEvent(transponder_[pair ? 0 : 4], 0);
            if (pressed[3] & row.wholeDec) SendEvent(transponder_[pair ? 1 : 5], 0);
        }
        // The swap button picks which digit pair the knobs set, powered or not.
        if (pressed[2] & row.swapBit) device->SetValue(row.pairKey, pair ? 0u : 1u);
        return;
    }
    if (position >= 5 || !live) return;
    const std::array<std::uint32_t, kRadioEventCount>& events = radio_[position];
    if (pressed[2] & row.swapBit) SendEvent(events[kSwap], 0);
    if (pressed[3] & row.wholeInc) SendEvent(events[kWholeInc], 0);
    if (pressed[3] & row.wholeDec) SendEvent(events[kWholeDec], 0);
    if (pressed[3] & row.fractionInc) SendEvent(events[kFractionInc], 0);
    if (pressed[3] & row.fractionDec) SendEvent(events[kFractionDec], 0);
}

void CPanelClass_Radios::OnInputReport(CHidPanelDevice* device, std::uint32_t length,
                                       const std::uint8_t* previous,
                                       const std::uint8_t* current) {
    // Bytes 1 to 3 are read: a shorter report (or unit) is not one of ours.
    if (length < 4 || device->InputReportLength() < 4) return;
    std::uint8_t pressed[4];
    PressedBits(previous, current, pressed);

    // A lone knob step passes its knob's filter (each knob owns two
    // neighbouring bits of byte 3); selector, button and several knobs at
    // once go straight through.
    if (pressed[1] == 0 && pressed[2] == 0 && std::has_single_bit(pressed[3])) {
        KnobFilter& filter = filters_[static_cast<std::size_t>(std::countr_zero(pressed[3]) / 2)];
        if (!Accept(filter, pressed[3], Now())) return;
    }

    bool force = false;
    const int upper = UpperPosition(pressed[1]);
    if (upper >= 0 && static_cast<std::uint32_t>(upper) != device->GetValue(kUpperPositionKey)) {
        device->SetValue(kUpperPositionKey, static_cast<std::uint32_t>(upper));
        force = true;
    }
    const int lower = LowerPosition(pressed[1], pressed[2]);
    if (lower >= 0 && static_cast<std::uint32_t>(lower) != device->GetValue(kLowerPositionKey)) {
        device->SetValue(kLowerPositionKey, static_cast<std::uint32_t>(lower));
        force = true;
    }

    RowInput(device, {kUpperPositionKey, kUpperPairKey, 0x40, 0x01, 0x02, 0x04, 0x08}, pressed);
    RowInput(device, {kLowerPositionKey, kLowerPairKey, 0x80, 0x10, 0x20, 0x40, 0x80}, pressed);

    ShowValues(device, force);
}
