#include "tools/hid_standin/panel_display.h"

#include <cstdio>

namespace panel_display {
namespace {

constexpr std::size_t kMultiLength = 13;
constexpr std::size_t kRadioLength = 23;
constexpr std::size_t kGearLength = 2;
constexpr std::size_t kLampLength = 7;
constexpr std::uint8_t kLampReportId = 0xB8;
constexpr int kLenses = 24;

// A digit code: 0-9, 0x0E the minus, 0x0F the pattern of a unit let go of;
// anything else is dark.
char DigitChar(std::uint8_t d) {
    if (d <= 9) return static_cast<char>('0' + d);
    if (d == 0x0E) return '-';
    if (d == 0x0F) return '_';
    return ' ';
}

// One five-digit radio display: 0xFF is dark, the low four bits the digit,
// 0xD0 its decimal point.
std::string RadioDisplay(const std::uint8_t* d) {
    std::string s;
    for (int i = 0; i < 5; ++i) {
        if (d[i] == 0xFF) {
            s += ' ';
            continue;
        }
        s += DigitChar(static_cast<std::uint8_t>(d[i] & 0x0F));
        if ((d[i] & 0xF0) == 0xD0) s += '.';
    }
    if (s.size() < 6) s += ' ';
    return s;
}

}  // namespace

std::string Bytes(const Report& report) {
    std::string s;
    for (std::uint8_t b : report) {
        char text[4];
        std::snprintf(text, sizeof text, " %02x", b);
        s += text;
    }
    return "(report" + s + ")";
}

std::string Multi(const Report& r) {
    if (r.size() != kMultiLength) return Bytes(r);
    static const char* const kLamps[8] = {"AP", "HDG", "NAV", "IAS", "ALT", "VS", "APR", "BC"};
    std::string s = "[";
    for (std::size_t i = 1; i <= 5; ++i) s += DigitChar(r[i]);
    s += "|";
    for (std::size_t i = 6; i <= 10; ++i) s += DigitChar(r[i]);
    s += "]";
    for (int bit = 0; bit < 8; ++bit) {
        const std::string name = kLamps[bit];
        s += " " + ((r[11] >> bit) & 1 ? name : std::string(name.size(), '.'));
    }
    return s;
}

std::string Radio(const Report& r) {
    if (r.size() != kRadioLength) return Bytes(r);
    std::string s = "[";
    s += RadioDisplay(&r[1]);
    s += "|";
    s += RadioDisplay(&r[6]);
    s += "] [";
    s += RadioDisplay(&r[11]);
    s += "|";
    s += RadioDisplay(&r[16]);
    return s + "]";
}

std::string Gear(const Report& r) {
    if (r.size() != kGearLength) return Bytes(r);
    static const char* const kGear[3] = {"nose", "left", "right"};
    std::string s = "gear";
    for (int g = 0; g < 3; ++g) {
        const bool green = (r[1] >> g) & 1;
        const bool red = (r[1] >> (g + 3)) & 1;
        s += std::string(" ") + kGear[g] + " " + (green ? "green" : red ? "red" : "off");
    }
    return s;
}

std::string Lamps(const Report& r, const char* const* names) {
    if (r.size() != kLampLength || r[0] != kLampReportId) return Bytes(r);
    std::string s;
    for (int lens = 0; lens < kLenses; ++lens) {
        const std::size_t byte = static_cast<std::size_t>(lens / 8);
        const int bit = lens % 8;
        const bool green = (r[1 + byte] >> bit) & 1;
        const bool red = (r[4 + byte] >> bit) & 1;
        const char* name = names != nullptr ? names[lens] : nullptr;
        if (name == nullptr && !green && !red) continue;
        const std::string label = name != nullptr ? name : "lens " + std::to_string(lens);
        const char* colour = green && red ? "AMBER" : green ? "GREEN" : red ? "RED" : "off";
        s += (s.empty() ? "" : " ") + label + "=" + colour;
    }
    return s.empty() ? "dark" : s;
}

}  // namespace panel_display
