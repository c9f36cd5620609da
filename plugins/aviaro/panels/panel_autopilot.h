// The multi panel: a five-position selector with a knob that edits the
// autopilot value it selects, eight autopilot buttons with lamps, the
// auto-throttle arm switch, flaps and pitch trim, and two five-digit displays.
#pragma once

#include <array>
#include <cstdint>

#include "plugins/aviaro/panels/panel_class.h"

class CPanelClass_Autopilot : public CPanelClass {
public:
    static constexpr std::uint16_t kProductId = 0x0A21;
    static constexpr std::uint32_t kRecordWords = 22;
    static constexpr std::uint32_t kReportLength = 13;
    static constexpr std::uint8_t kBlank = 0xFF;
    static constexpr std::uint8_t kMinus = 0x0E;
    static constexpr std::uint8_t kDark = 0x0F;  // every digit of a detached unit
    static constexpr std::uint32_t kPositionKey = 0;

    CPanelClass_Autopilot();
    ~CPanelClass_Autopilot() override;

    void OnDeviceAttached(CHidPanelDevice* device) override;
    void OnDeviceDetached(CHidPanelDevice* device) override;
    void OnInputReport(CHidPanelDevice* device, std::uint32_t length,
                       const std::uint8_t* previous, const std::uint8_t* current) override;

    // Builds the unit's display report and posts it when it changed or force
    // is set. Under the panel's lock.
    void ShowValues(CHidPanelDevice* device, bool force);

    // The low five bits as a selector position 0-4, or -1 when they are not
    // exactly one bit.
    static int DecodeSelector(std::uint8_t bits);
    // The five digit codes of each display form.
    static void AltitudeDigits(float value, std::uint8_t* digits);
    static void VerticalSpeedDigits(float value, std::uint8_t* digits);
    static void ThreeDigits(float value, std::uint8_t* digits);

protected:
    HRESULT DefineSimData() override;
    void RefreshDevice(CHidPanelDevice* device) override { ShowValues(device, false); }

private:
    // Client events in the order they are mapped.
    enum Event : std::size_t {
        kIncrease0,  // then its decrease, for each selector position 0-4 in turn
        kMasterEvent = kIncrease0 + 10,
        kHeadingHoldEvent,
        kNavHoldEvent,
        kApproachHoldEvent,
        kBackcourseHoldEvent,
        kAltitudeHoldEvent,
        kVerticalHoldEvent,
        kSpeedHoldEvent,
        kThrottleArmEvent,
        kFlapsIncr,
        kFlapsDecr,
        kTrimUp,
        kTrimDown,
        kEventCount,
    };
    // The mode buttons, byte 2 bits 0-6.
    static constexpr Event kModeEvents[7] = {
        kHeadingHoldEvent,  kNavHoldEvent,      kSpeedHoldEvent,     kAltitudeHoldEvent,
        kVerticalHoldEvent, kApproachHoldEvent, kBackcourseHoldEvent};

    bool Active() const;  // powered and no partial-panel failure
    float Float(int word) const;

    std::uint32_t record_[kRecordWords] = {};  // guarded by mutex_
    // Client event ids by Event, 0 when unmapped; fixed by InitSimData.
    std::array<std::uint32_t, kEventCount> events_ = {};
};
