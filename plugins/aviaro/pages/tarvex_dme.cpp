#include "plugins/aviaro/host/simconnect_types.h"
#include "plugins/aviaro/pages/tarvex_pages.h"

CPage_Tarvex_Dme::CPage_Tarvex_Dme(std::uint32_t pageId, IPageOwner* owner)
    : CPage_Tarvex_Base(pageId, owner, L"CPage_Tarvex_Dme", 16) {}

void CPage_Tarvex_Dme::DefineSimData() {
    AddDatum(L"nav dme:1", L"nmiles", simconnect::kDataTypeFloat32, 0.0f, L"nav1 dme");
    AddDatum(L"nav dme:2", L"nmiles", simconnect::kDataTypeFloat32, 0.0f, L"nav2 dme");
    AddDatum(L"nav dmespeed:1", L"Knots", simconnect::kDataTypeFloat32, 0.0f, L"nav1 dmespeed");
    AddDatum(L"nav dmespeed:2", L"Knots", simconnect::kDataTypeFloat32, 0.0f, L"nav2 dmespeed");
}

namespace {

// A negative zero is not below zero, so it is shown, but as zero: printed as
// it is it would read -000.0.
double Shown(float value) { return value == 0.0f ? 0.0 : static_cast<double>(value); }

}  // namespace

void CPage_Tarvex_Dme::UpdateLines(const std::uint8_t* record) {
    // The selection is the receiver: 0 NAV1, 1 NAV2.
    const int s = selection_ == 1 ? 1 : 0;
    const float distance = Float32At(record, s);
    const float speed = Float32At(record, s + 2);
    FormatLine(0, L" DME     [R%d]", s + 1);
    if (!(distance < 0.0f)) {
        FormatLine(1, L" %#06.1lf NM", Shown(distance));
    } else {
        FormatLine(1, L"%ls", L" ---- NM");
    }
    if (!(speed < 0.0f)) {
        FormatLine(2, L" %#06.1lf Knots", Shown(speed));
    } else {
        FormatLine(2, L"%ls", L" --- Knots");
    }
}

bool CPage_Tarvex_Dme::HandleButtons(std::uint32_t buttons) {
    // Only Select counts: Up and Down do nothing, not even a re-format.
    if ((buttons & lumiray::SoftButton_Select) == 0) return false;
    selection_ = 1 - (selection_ == 1 ? 1 : 0);
    return true;
}
