// The switch panel: electrical, fuel, de-ice, pitot, cowl-flap and light
// switches, a magneto rotary, the gear lever and six gear lamps. A switch
// that moves toggles its system only when the simulator is out of step with
// it, so the panel never drives a system away from the switch position.
#pragma once

#include <array>
#include <cstdint>

#include "plugins/aviaro/panels/panel_class.h"

class CPanelClass_Switch : public CPanelClass {
public:
    static constexpr std::uint16_t kProductId = 0x0A23;
    static constexpr std::uint32_t kRecordWords = 27;
    static constexpr std::uint32_t kInputLength = 4;
    static constexpr std::uint32_t kLampReportLength = 2;

    CPanelClass_Switch();
    ~CPanelClass_Switch() override;

    void OnDeviceAttached(CHidPanelDevice* device) override;
    void OnDeviceDetached(CHidPanelDevice* device) override;
    void OnInputReport(CHidPanelDevice* device, std::uint32_t length,
                       const std::uint8_t* previous, const std::uint8_t* current) override;

    // Posts the gear lamp report, every time. Under the panel's lock.
    void ShowGear(CHidPanelDevice* device);

    // The lamp byte for a record of kRecordWords words.
    static std::uint8_t GearLamps(const std::uint32_t* record);
    // The magneto rotary's position 1-5 in a report, 0 between detents.
    static int MagnetoPosition(const std::uint8_t* report);

protected:
    HRESULT DefineSimData() override;
    void RefreshDevice(CHidPanelDevice* device) override { ShowGear(device); }

private:
    // Event ids in the order they are mapped.
    enum Event : std::size_t {
        kGearUp,
        kGearDown,
        kBattery,
        kAlternator1,  // to 4
        kAvionics = kAlternator1 + 4,
        kFuelPump1,  // to 4
        kAntiIce = kFuelPump1 + 4,
        kPitotHeat,
        kCowlFlap1,  // to 4
        kPanelLights = kCowlFlap1 + 4,
        kBeacon,
        kNavLights,
        kStrobes,
        kTaxiLights,
        kLandingLights,
        kMagneto1,  // to 4
        kEventCount = kMagneto1 + 4,
    };

    std::uint32_t record_[kRecordWords] = {};  // guarded by mutex_
    std::array<std::uint32_t, kEventCount> events_ = {};  // fixed by InitSimData
};
