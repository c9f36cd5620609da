#include <cmath>
#include <cwchar>

#include "plugins/aviaro/host/simconnect_types.h"
#include "plugins/aviaro/pages/tarvex_pages.h"

namespace {

enum Event { kObiInc, kObiDec, kHeadingInc, kHeadingDec };

const wchar_t* const kEvents[4] = {L"VOR1_OBI_INC", L"VOR1_OBI_DEC", L"HEADING_BUG_INC",
                                   L"HEADING_BUG_DEC"};

// Selection: 0 course, 1 course edited, 2 heading, 3 heading edited.
constexpr int T(int slot) { return TarvexTransmit(slot); }
constexpr TarvexButtonRow kRows[4] = {
    {1, 2, 2},
    {0, T(kObiInc), T(kObiDec)},
    {3, 0, 0},
    {2, T(kHeadingInc), T(kHeadingDec)},
};

}  // namespace

CPage_Tarvex_VorHdg::CPage_Tarvex_VorHdg(std::uint32_t pageId, IPageOwner* owner)
    : CPage_Tarvex_Base(pageId, owner, L"CPage_Tarvex_VorHdg", 16) {}

void CPage_Tarvex_VorHdg::DefineSimData() {
    AddDatum(L"NAV1 OBS", L"radians", simconnect::kDataTypeFloat64, 0.0f, L"NAV1 OBS");
    AddDatum(L"Autopilot heading lock dir", L"radians", simconnect::kDataTypeFloat64, 0.0f,
             L"Autopilot heading lock dir");
    for (int i = 0; i < 4; ++i) events_[i] = MapClientEvent(kEvents[i]);
}

void CPage_Tarvex_VorHdg::UpdateLines(const std::uint8_t* record) {
    const int s = selection_;
    // Whole degrees, three digits; a value that is not a number shows dashes.
    wchar_t course[16], heading[16];
    wchar_t* const texts[2] = {course, heading};
    for (int i = 0; i < 2; ++i) {
        const double degrees = Normalise360(Float64At(record, i) * 180.0 / 3.1415926535);
        if (std::isfinite(degrees)) {
            std::swprintf(texts[i], 16, L"%03d", static_cast<int>(degrees));
        } else {
            std::swprintf(texts[i], 16, L"%ls", L"---");
        }
    }
    FormatLine(0, L"%ls", L"  VOR     HDG   ");
    FormatLine(1, L" %lc%ls\u00B0    %ls\u00B0%lc ", s == 0 ? L'>' : (s == 1 ? L'\u00BB' : L' '),
               course, heading, s == 2 ? L'<' : (s == 3 ? L'\u00AB' : L' '));
    FormatLine(2, L"%ls", L"");
}

bool CPage_Tarvex_VorHdg::HandleButtons(std::uint32_t buttons) {
    StepButtons(buttons, kRows, 4, events_);
    return true;
}
