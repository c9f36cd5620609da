#include "plugins/aviaro/host/simconnect_types.h"
#include "plugins/aviaro/pages/tarvex_pages.h"

namespace {

enum Event { kMaster, kHdgOn, kNav1On, kAprOn, kBcOn, kHdgOff, kNav1Off, kAprOff, kBcOff,
             kAltHold, kAltVarInc, kAltVarDec, kVsVarInc, kVsVarDec };

const wchar_t* const kEvents[14] = {
    L"AP_MASTER",      L"AP_HDG_HOLD_ON",  L"AP_NAV1_HOLD_ON", L"AP_APR_HOLD_ON",
    L"AP_BC_HOLD_ON",  L"AP_HDG_HOLD_OFF", L"AP_NAV1_HOLD_OFF", L"AP_APR_HOLD_OFF",
    L"AP_BC_HOLD_OFF", L"AP_ALT_HOLD",     L"AP_ALT_VAR_INC",  L"AP_ALT_VAR_DEC",
    L"AP_VS_VAR_INC",  L"AP_VS_VAR_DEC"};

const wchar_t* const kDatums[8][3] = {
    {L"autopilot master", L"Bool", L"autopilot master"},
    {L"autopilot heading lock", L"Bool", L"autopilot heading lock"},
    {L"autopilot nav1 lock", L"Bool", L"autopilot nav1 lock"},
    {L"autopilot approach hold", L"Bool", L"autopilot approach hold"},
    {L"autopilot backcourse hold", L"Bool", L"autopilot backcourse hold"},
    {L"autopilot altitude lock", L"Bool", L"autopilot altitude lock"},
    {L"autopilot altitude lock var", L"Feet", L"autopilot altitude lock var"},
    {L"autopilot vertical hold var", L"Feet/minute", L"autopilot vertical hold var"},
};

// Selection states (2 is not used): 0 altitude-hold key, 1 selected altitude,
// 3 vertical speed, 4 master key, 5 lateral mode; 6, 7 and 8 edit 1, 3 and 5.
constexpr int kModeStep = 100;  // the lateral-mode row's Up and Down: step the mode
constexpr int T(int slot) { return TarvexTransmit(slot); }
constexpr TarvexButtonRow kRows[9] = {
    {T(kAltHold), 5, 1},
    {6, 0, 3},
    {2, 2, 2},  // never selected
    {7, 1, 4},
    {T(kMaster), 3, 5},
    {8, 4, 0},
    {1, T(kAltVarInc), T(kAltVarDec)},
    {3, T(kVsVarInc), T(kVsVarDec)},
    {5, kModeStep, kModeStep},
};

}  // namespace

CPage_Tarvex_Autopilot::CPage_Tarvex_Autopilot(std::uint32_t pageId, IPageOwner* owner)
    : CPage_Tarvex_Base(pageId, owner, L"CPage_Tarvex_Autopilot", 32) {}

void CPage_Tarvex_Autopilot::DefineSimData() {
    for (const auto& datum : kDatums) {
        AddDatum(datum[0], datum[1], simconnect::kDataTypeInt32, 0.0f, datum[2]);
    }
    for (int i = 0; i < 14; ++i) events_[i] = MapClientEvent(kEvents[i]);
}

void CPage_Tarvex_Autopilot::UpdateLines(const std::uint8_t* record) {
    const int s = selection_;
    std::int32_t r[8];
    for (int i = 0; i < 8; ++i) r[i] = Int32At(record, i);
    const wchar_t* mode = r[1] != 0   ? L"HDG"
                          : r[2] != 0 ? L"NAV"
                          : r[3] != 0 ? L"APR"
                          : r[4] != 0 ? L"BC "
                                      : L"---";
    FormatLine(0, L"%lc%ls%lc   %06d%lc", s == 0 ? L'[' : L' ', r[5] != 0 ? L"ALT" : L"---",
               s == 0 ? L']' : L' ', static_cast<int>(r[6]),
               s == 1 ? L'<' : (s == 6 ? L'\u00AB' : L' '));
    FormatLine(1, L"%lc%ls%lc     %05d%lc", L' ', L"VS", L' ', static_cast<int>(r[7]),
               s == 3 ? L'<' : (s == 7 ? L'\u00AB' : L' '));
    FormatLine(2, L"%lc%ls%lc    %lc%ls%lc", s == 4 ? L'[' : L' ', r[0] != 0 ? L"AP" : L"--",
               s == 4 ? L']' : L' ', s == 5 ? L'<' : (s == 8 ? L'\u00AB' : L' '), mode,
               s == 5 ? L'>' : (s == 8 ? L'\u00BB' : L' '));
}

bool CPage_Tarvex_Autopilot::HandleButtons(std::uint32_t buttons) {
    // The whole mask decides: several buttons at once do nothing at all.
    int column;
    switch (buttons) {
        case lumiray::SoftButton_Select: column = 0; break;
        case lumiray::SoftButton_Up: column = 1; break;
        case lumiray::SoftButton_Down: column = 2; break;
        default: return false;
    }
    if (selection_ < 0 || selection_ > 8 || selection_ == 2) return true;
    const TarvexButtonRow& row = kRows[selection_];
    const int action = column == 0 ? row.select : (column == 1 ? row.up : row.down);
    if (action == kModeStep) {
        StepLateralMode(column == 1);
    } else if (action >= 0) {
        selection_ = action;
    } else {
        TriggerEvent(events_[-1 - action]);
    }
    return true;
}

void CPage_Tarvex_Autopilot::StepLateralMode(bool next) {
    modeIndex_ = next ? (modeIndex_ >= 4 ? 0 : modeIndex_ + 1)
                      : (modeIndex_ == 0 ? 4 : modeIndex_ - 1);
    // The chosen mode on, the other three off: heading, NAV1, approach, back course.
    for (std::uint32_t mode = 1; mode <= 4; ++mode) {
        TriggerEvent(events_[modeIndex_ == mode ? kHdgOn + (mode - 1) : kHdgOff + (mode - 1)]);
    }
}
