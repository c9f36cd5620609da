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

    bool IsPanelDevice(const wchar_t* path) override;
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
    bool Active() const;  // powered and no partial-panel failure
    float Float(int word) const;

    std::uint32_t record_[kRecordWords] = {};  // guarded by mutex_
    // Client event ids, 0 when unmapped; fixed by InitSimData.
    std::array<std::uint32_t, 5> increase_ = {};
    std::array<std::uint32_t, 5> decrease_ = {};
    std::uint32_t master_ = 0;
    std::array<std::uint32_t, 7> modes_ = {};  // byte 2 bits 0-6
    std::uint32_t throttleArm_ = 0;
    std::uint32_t flapsIncr_ = 0, flapsDecr_ = 0;
    std::uint32_t trimUp_ = 0, trimDown_ = 0;
};
