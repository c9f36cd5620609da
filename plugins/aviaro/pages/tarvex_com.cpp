#include "plugins/aviaro/host/simconnect_types.h"
#include "plugins/aviaro/pages/tarvex_pages.h"

namespace {

enum Event { kComWholeInc, kComWholeDec, kComFractInc, kComFractDec, kComSwap,
             kNavWholeInc, kNavWholeDec, kNavFractInc, kNavFractDec, kNavSwap };

const wchar_t* const kEventsSet1[10] = {
    L"COM_RADIO_WHOLE_INC",  L"COM_RADIO_WHOLE_DEC",        L"COM_RADIO_FRACT_INC_CARRY",
    L"COM_RADIO_FRACT_DEC_CARRY", L"COM_STBY_RADIO_SWAP",   L"NAV1_RADIO_WHOLE_INC",
    L"NAV1_RADIO_WHOLE_DEC", L"NAV1_RADIO_FRACT_INC_CARRY", L"NAV1_RADIO_FRACT_DEC_CARRY",
    L"NAV1_RADIO_SWAP"};
const wchar_t* const kEventsSet2[10] = {
    L"COM2_RADIO_WHOLE_INC", L"COM2_RADIO_WHOLE_DEC",       L"COM2_RADIO_FRACT_INC_CARRY",
    L"COM2_RADIO_FRACT_DEC_CARRY", L"COM2_RADIO_SWAP",      L"NAV2_RADIO_WHOLE_INC",
    L"NAV2_RADIO_WHOLE_DEC", L"NAV2_RADIO_FRACT_INC_CARRY", L"NAV2_RADIO_FRACT_DEC_CARRY",
    L"NAV2_RADIO_SWAP"};

// Selection: 0 COM active, 1 COM standby whole, 2 COM standby fraction, 3 NAV
// active, 4 NAV standby whole, 5 NAV standby fraction; 6 to 9 edit 1, 2, 4, 5.
constexpr int T(int slot) { return TarvexTransmit(slot); }
constexpr TarvexButtonRow kRows[10] = {
    {T(kComSwap), 5, 1},
    {6, 0, 2},
    {7, 1, 3},
    {T(kNavSwap), 2, 4},
    {8, 3, 5},
    {9, 4, 0},
    {1, T(kComWholeInc), T(kComWholeDec)},
    {2, T(kComFractInc), T(kComFractDec)},
    {4, T(kNavWholeInc), T(kNavWholeDec)},
    {5, T(kNavFractInc), T(kNavFractDec)},
};

// One BCD digit of a "Frequency BCD16" value, printed as its nibble's value.
int Digit(std::int32_t value, int nibble) { return (value >> (4 * nibble)) & 0xF; }

}  // namespace

CPage_Tarvex_Com::CPage_Tarvex_Com(std::uint32_t pageId, IPageOwner* owner, bool radioSet1)
    : CPage_Tarvex_Base(pageId, owner, L"CPage_Tarvex_Com", 16), radioSet1_(radioSet1) {}

void CPage_Tarvex_Com::DefineSimData() {
    const bool one = radioSet1_;
    AddDatum(one ? L"com active frequency:1" : L"com active frequency:2", L"Frequency BCD16",
             simconnect::kDataTypeInt32, 0.0f, L"com active frequency");
    AddDatum(one ? L"com standby frequency:1" : L"com standby frequency:2", L"Frequency BCD16",
             simconnect::kDataTypeInt32, 0.0f, L"com standby frequency");
    AddDatum(one ? L"nav active frequency:1" : L"nav active frequency:2", L"Frequency BCD16",
             simconnect::kDataTypeInt32, 0.0f, L"nav active frequency");
    AddDatum(one ? L"nav standby frequency:1" : L"nav standby frequency:2", L"Frequency BCD16",
             simconnect::kDataTypeInt32, 0.0f, L"nav standby frequency");
    const wchar_t* const* names = one ? kEventsSet1 : kEventsSet2;
    for (int i = 0; i < 10; ++i) events_[i] = MapClientEvent(names[i]);
}

void CPage_Tarvex_Com::UpdateLines(const std::uint8_t* record) {
    const int s = selection_;
    const std::int32_t comActive = Int32At(record, 0), comStandby = Int32At(record, 1);
    const std::int32_t navActive = Int32At(record, 2), navStandby = Int32At(record, 3);
    const wchar_t* format = L"%lc1%d%d.%d%d%lc%lc1%d%d.%d%d%lc";
    FormatLine(0, L"%ls", radioSet1_ ? L"  COM1    NAV1  " : L"  COM2    NAV2  ");
    FormatLine(1, format, s == 0 ? L'[' : L' ', Digit(comActive, 3), Digit(comActive, 2),
               Digit(comActive, 1), Digit(comActive, 0), s == 0 ? L']' : L' ',
               s == 3 ? L'[' : L' ', Digit(navActive, 3), Digit(navActive, 2), Digit(navActive, 1),
               Digit(navActive, 0), s == 3 ? L']' : L' ');
    FormatLine(2, format, s == 1 ? L'>' : (s == 6 ? L'\u00BB' : L' '), Digit(comStandby, 3),
               Digit(comStandby, 2), Digit(comStandby, 1), Digit(comStandby, 0),
               s == 2 ? L'<' : (s == 7 ? L'\u00AB' : L' '),
               s == 4 ? L'>' : (s == 8 ? L'\u00BB' : L' '), Digit(navStandby, 3),
               Digit(navStandby, 2), Digit(navStandby, 1), Digit(navStandby, 0),
               s == 5 ? L'<' : (s == 9 ? L'\u00AB' : L' '));
}

bool CPage_Tarvex_Com::HandleButtons(std::uint32_t buttons) {
    StepButtons(buttons, kRows, 10, events_);
    return true;
}
