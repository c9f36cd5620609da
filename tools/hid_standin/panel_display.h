// What a panel shows, as text, from a feature report written to one of its
// units: shared by the panel demo and the HID stand-in's record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace panel_display {

using Report = std::vector<std::uint8_t>;

// "(report 00 01 ff)".
std::string Bytes(const Report& report);
// The multi panel (13 bytes): "[03500|  700] AP ... ... ... ALT .. ... ..".
std::string Multi(const Report& report);
// The radio panel (23 bytes): "[118.50|121.90] [      | 1200 ]".
std::string Radio(const Report& report);
// The switch panel's gear lamps (2 bytes): "gear nose green left red right off".
std::string Gear(const Report& report);
// The backlit annunciator's lamps (7 bytes, report ID B8): each lens that is
// named or lit as "<name>=GREEN|RED|AMBER|off", a lens without a name as
// "lens <n>"; names holds one entry per lens (null: none), or is null.
// "dark" when nothing is listed.
std::string Lamps(const Report& report, const char* const* names = nullptr);

}  // namespace panel_display
