// The radio panel: two rows, each with a seven-position radio selector, a dual
// tuning knob, a swap button and two five-digit displays. Each row shows and
// tunes the radio its selector picks; knob steps pass a time filter first.
#pragma once

#include <array>
#include <cstdint>

#include "plugins/aviaro/panels/panel_class.h"

class CPanelClass_Radios : public CPanelClass {
public:
    static constexpr std::uint16_t kProductId = 0x0A22;
    static constexpr std::uint32_t kRecordWords = 27;
    static constexpr std::uint32_t kReportLength = 23;
    static constexpr std::uint8_t kBlank = 0xFF;
    static constexpr std::uint8_t kPoint = 0xD0;  // ORed into a digit: its decimal point lit
    // Per-unit values.
    static constexpr std::uint32_t kUpperPositionKey = 0;
    static constexpr std::uint32_t kLowerPositionKey = 1;
    static constexpr std::uint32_t kUpperPairKey = 2;  // 1: thousands and hundreds
    static constexpr std::uint32_t kLowerPairKey = 3;

    // The millisecond tick count the knob filters read.
    using Clock = std::uint32_t (*)();

    // One knob's bounce and repeat filter.
    struct KnobFilter {
        static constexpr std::uint32_t kUnsetTime = 0xFFFFFFFF;
        static constexpr std::uint16_t kUnsetDirection = 0xFFFF;
        std::uint32_t repeatTime = kUnsetTime;
        std::uint16_t repeatDirection = kUnsetDirection;
        std::uint32_t reversalTime = kUnsetTime;
        std::uint16_t reversalDirection = kUnsetDirection;
    };

    CPanelClass_Radios();
    ~CPanelClass_Radios() override;

    void OnDeviceAttached(CHidPanelDevice* device) override;
    void OnDeviceDetached(CHidPanelDevice* device) override;
    void OnInputReport(CHidPanelDevice* device, std::uint32_t length,
                       const std::uint8_t* previous, const std::uint8_t* current) override;

    // Builds the unit's display report and posts it when it changed or force
    // is set. Under the panel's lock.
    void ShowValues(CHidPanelDevice* device, bool force);

    // Whether a knob step in direction (one of the filter's bits) is taken:
    // a reversal within 100 ms is bounce, the second of two steps the same
    // way within 150 ms is dropped.
    static bool Accept(KnobFilter& filter, std::uint16_t direction, std::uint32_t now);

    // The five digit codes of each display form.
    static void FrequencyDigits(std::uint32_t bcd16, std::uint8_t* digits);
    static void AdfDigits(std::uint32_t bcd32, std::uint8_t* digits);
    static void TransponderDigits(std::uint32_t bco16, std::uint8_t* digits);
    static void DmeDigits(float value, std::uint8_t* digits);

    // Replaces the tick count (tests); null restores it.
    void SetClock(Clock clock) { clock_ = clock; }

protected:
    HRESULT DefineSimData() override;
    void RefreshDevice(CHidPanelDevice* device) override { ShowValues(device, false); }

private:
    static constexpr int kPositions = 6;  // tuned positions 0-4; 5 (DME) stays unmapped
    // A tuned position's events, in the order they are mapped.
    enum RadioEvent : std::size_t {
        kWholeInc,
        kWholeDec,
        kFractionInc,
        kFractionDec,
        kSwap,
        kRadioEventCount,
    };

    struct RowBits {
        std::uint32_t positionKey;
        std::uint32_t pairKey;
        std::uint8_t swapBit;  // in byte 2
        std::uint8_t fractionInc, fractionDec, wholeInc, wholeDec;  // in byte 3
    };

    void RowInput(CHidPanelDevice* device, const RowBits& row, const std::uint8_t* pressed);
    void RowDigits(std::uint32_t position, std::uint8_t* left, std::uint8_t* right) const;
    std::uint32_t Now() const;

    std::uint32_t record_[kRecordWords] = {};  // guarded by mutex_
    // Client event ids, 0 when unmapped; fixed by InitSimData.
    std::array<std::array<std::uint32_t, kRadioEventCount>, kPositions> radio_ = {};
    // 1000 inc, 1000 dec, 100 inc, 100 dec, 10 inc, 10 dec, 1 inc, 1 dec.
    std::array<std::uint32_t, 8> transponder_ = {};
    // Upper fraction, upper whole, lower fraction, lower whole; shared by
    // every unit. Guarded by mutex_.
    std::array<KnobFilter, 4> filters_ = {};
    Clock clock_ = nullptr;  // set before any unit is open
};
