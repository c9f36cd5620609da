#include "plugins/aviaro/host/simconnect_types.h"
#include "plugins/aviaro/pages/tarvex_pages.h"

namespace {

enum Event { k1000Inc, k100Inc, k10Inc, k1Inc, k1000Dec, k100Dec, k10Dec, k1Dec };

const wchar_t* const kEvents[8] = {L"XPNDR_1000_INC", L"XPNDR_100_INC", L"XPNDR_10_INC",
                                   L"XPNDR_1_INC",    L"XPNDR_1000_DEC", L"XPNDR_100_DEC",
                                   L"XPNDR_10_DEC",   L"XPNDR_1_DEC"};

const wchar_t* const kTraces[3] = {L"CPage_Tarvex_Xpndr::OnButtonPress(SoftButton_Select)",
                                   L"CPage_Tarvex_Xpndr::OnButtonPress(SoftButton_Up)",
                                   L"CPage_Tarvex_Xpndr::OnButtonPress(SoftButton_Down)"};

// Selection: 0 to 3 mark digit p = S (0 thousands ... 3 units); 4 to 7 edit digit S - 4.
constexpr int T(int slot) { return TarvexTransmit(slot); }
constexpr TarvexButtonRow kRows[8] = {
    {4, 1, 3},
    {5, 2, 0},
    {6, 3, 1},
    {7, 0, 2},
    {0, T(k1000Inc), T(k1000Dec)},
    {1, T(k100Inc), T(k100Dec)},
    {2, T(k10Inc), T(k10Dec)},
    {3, T(k1Inc), T(k1Dec)},
};

int Nibble(std::int32_t value, int nibble) { return (value >> (4 * nibble)) & 0xF; }

}  // namespace

CPage_Tarvex_Xpndr::CPage_Tarvex_Xpndr(std::uint32_t pageId, IPageOwner* owner)
    : CPage_Tarvex_Base(pageId, owner, L"CPage_Tarvex_Xpndr", 4) {}

void CPage_Tarvex_Xpndr::DefineSimData() {
    AddDatum(L"transponder code:1", L"BCO16", simconnect::kDataTypeInt32, 0.0f, L"XPNDR");
    for (int i = 0; i < 8; ++i) events_[i] = MapClientEvent(kEvents[i]);
}

void CPage_Tarvex_Xpndr::UpdateLines(const std::uint8_t* record) {
    const int s = selection_;
    const std::int32_t code = Int32At(record, 0);
    wchar_t marks[4];
    for (int p = 0; p < 4; ++p) marks[p] = s == p ? L'^' : (s == p + 4 ? L'-' : L' ');
    // Seventeen characters: the display shows the first sixteen.
    FormatLine(0, L"%ls", L"   Transponder   ");
    FormatLine(1, L"     %d%d%d%d       ", Nibble(code, 3), Nibble(code, 2), Nibble(code, 1),
               Nibble(code, 0));
    FormatLine(2, L"     %lc%lc%lc%lc       ", marks[0], marks[1], marks[2], marks[3]);
}

bool CPage_Tarvex_Xpndr::HandleButtons(std::uint32_t buttons) {
    StepButtons(buttons, kRows, 8, events_, kTraces);
    return true;
}
