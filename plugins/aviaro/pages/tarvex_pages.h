// The six text pages of the joystick display.
#pragma once

#include <cstdint>

#include "plugins/aviaro/pages/tarvex_base.h"

// COM and NAV radio of set 1 or set 2: active and standby frequencies; swap
// and tune the standby in whole MHz and fractions.
class CPage_Tarvex_Com : public CPage_Tarvex_Base {
public:
    CPage_Tarvex_Com(std::uint32_t pageId, IPageOwner* owner, bool radioSet1);

protected:
    void DefineSimData() override;
    void UpdateLines(const std::uint8_t* record) override;
    bool HandleButtons(std::uint32_t buttons) override;

private:
    const bool radioSet1_;
    std::uint32_t events_[10] = {};
};

// ADF 1: identification audio, active frequency and radial.
class CPage_Tarvex_Adf : public CPage_Tarvex_Base {
public:
    CPage_Tarvex_Adf(std::uint32_t pageId, IPageOwner* owner);

protected:
    void DefineSimData() override;
    void UpdateLines(const std::uint8_t* record) override;
    bool HandleButtons(std::uint32_t buttons) override;
    bool RefreshesOnInitialize() const override { return true; }

private:
    std::uint32_t events_[5] = {};
};

// Autopilot: altitude hold and selected altitude, vertical speed, master and
// lateral mode.
class CPage_Tarvex_Autopilot : public CPage_Tarvex_Base {
public:
    CPage_Tarvex_Autopilot(std::uint32_t pageId, IPageOwner* owner);

protected:
    void DefineSimData() override;
    void UpdateLines(const std::uint8_t* record) override;
    bool HandleButtons(std::uint32_t buttons) override;
    bool RefreshesOnInitialize() const override { return true; }

private:
    void StepLateralMode(bool next);

    // 0 none, 1 heading, 2 NAV1, 3 approach, 4 back course: the page's own
    // choice, not read back from the simulator.
    std::uint32_t modeIndex_ = 0;
    std::uint32_t events_[14] = {};
};

// DME distance and ground speed of NAV1 or NAV2; sends no events.
class CPage_Tarvex_Dme : public CPage_Tarvex_Base {
public:
    CPage_Tarvex_Dme(std::uint32_t pageId, IPageOwner* owner);

protected:
    void DefineSimData() override;
    void UpdateLines(const std::uint8_t* record) override;
    bool HandleButtons(std::uint32_t buttons) override;
};

// NAV1 course (OBS) and the autopilot heading bug, in whole degrees.
class CPage_Tarvex_VorHdg : public CPage_Tarvex_Base {
public:
    CPage_Tarvex_VorHdg(std::uint32_t pageId, IPageOwner* owner);

protected:
    void DefineSimData() override;
    void UpdateLines(const std::uint8_t* record) override;
    bool HandleButtons(std::uint32_t buttons) override;

private:
    std::uint32_t events_[4] = {};
};

// The four-digit transponder code, one digit at a time.
class CPage_Tarvex_Xpndr : public CPage_Tarvex_Base {
public:
    CPage_Tarvex_Xpndr(std::uint32_t pageId, IPageOwner* owner);

protected:
    void DefineSimData() override;
    void UpdateLines(const std::uint8_t* record) override;
    bool HandleButtons(std::uint32_t buttons) override;

private:
    std::uint32_t events_[8] = {};
};
