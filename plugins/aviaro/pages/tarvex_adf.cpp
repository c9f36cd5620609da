#include "plugins/aviaro/host/simconnect_types.h"
#include "plugins/aviaro/pages/tarvex_pages.h"

namespace {

enum Event { kWholeInc, kWholeDec, kTenthsInc, kTenthsDec, kIdentToggle };

const wchar_t* const kEvents[5] = {L"ADF1_WHOLE_INC", L"ADF1_WHOLE_DEC", L"ADF1_RADIO_TENTHS_INC",
                                   L"ADF1_RADIO_TENTHS_DEC", L"RADIO_ADF_IDENT_TOGGLE"};

// Selection: 0 ident, 1 whole kHz, 2 tenths; 3 and 4 edit 1 and 2.
constexpr int T(int slot) { return TarvexTransmit(slot); }
constexpr TarvexButtonRow kRows[5] = {
    {T(kIdentToggle), 2, 1},
    {3, 0, 2},
    {4, 1, 0},
    {1, T(kWholeInc), T(kWholeDec)},
    {2, T(kTenthsInc), T(kTenthsDec)},
};

int Nibble(std::int32_t value, int nibble) {
    return static_cast<int>((static_cast<std::uint32_t>(value) >> (4 * nibble)) & 0xF);
}

}  // namespace

CPage_Tarvex_Adf::CPage_Tarvex_Adf(std::uint32_t pageId, IPageOwner* owner)
    : CPage_Tarvex_Base(pageId, owner, L"CPage_Tarvex_Adf", 12) {}

void CPage_Tarvex_Adf::DefineSimData() {
    AddDatum(L"ADF SOUND:1", L"Bool", simconnect::kDataTypeInt32, 0.0f, L"ADF SOUND");
    AddDatum(L"adf active frequency:1", L"Frequency ADF BCD32", simconnect::kDataTypeInt32, 0.0f,
             L"adf active frequency");
    AddDatum(L"adf radial:1", L"Degrees", simconnect::kDataTypeFloat32, 0.1f, L"adf radial");
    for (int i = 0; i < 5; ++i) events_[i] = MapClientEvent(kEvents[i]);
}

void CPage_Tarvex_Adf::UpdateLines(const std::uint8_t* record) {
    const int s = selection_;
    const std::int32_t frequency = Int32At(record, 1);
    FormatLine(0, L" ADF  %lc%ls%lc ", s == 0 ? L'[' : L' ', Int32At(record, 0) == 0 ? L"OFF" : L"ON",
               s == 0 ? L']' : L' ');
    FormatLine(1, L"%lc%d%d%d%d.%d%lc", s == 1 ? L'>' : (s == 3 ? L'\u00BB' : L' '),
               Nibble(frequency, 7), Nibble(frequency, 6), Nibble(frequency, 5),
               Nibble(frequency, 4), Nibble(frequency, 3),
               s == 2 ? L'<' : (s == 4 ? L'\u00AB' : L' '));
    FormatLine(2, L" %06.2lf\u00B0", Normalise360(Float32At(record, 2)));
}

bool CPage_Tarvex_Adf::HandleButtons(std::uint32_t buttons) {
    StepButtons(buttons, kRows, 5, events_);
    return true;
}
