// The sample gauges of examples/gauges, each drawn at three telling states and
// compared pixel for pixel with golden/sample_*.bmp (natively and, as the
// Windows test binary, under Wine). The gauges are copied beside the binary at
// build time. AV_UPDATE_GOLDEN set: the native binary writes the goldens anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "plugins/aviaro/gauge/bmp_reader.h"
#include "plugins/aviaro/gauge/gauge_renderer.h"

namespace {

namespace fs = std::filesystem;

struct Setting {
    const wchar_t* name;
    const wchar_t* unit;
    float value;
};

struct State {
    const char* golden;
    const wchar_t* gauge;
    std::vector<Setting> settings;
};

// The gauge's 280 × 240 pixels (x 40 to 319) of a 3-byte frame; "" in strip
// when nothing was drawn left of them, where the soft buttons' labels go.
CRasterSurface GaugePixels(const std::vector<std::uint8_t>& frame, std::string& strip) {
    CRasterSurface gauge(280, 240);
    for (int i = 0; i < 320 * 240; ++i) {
        const std::uint8_t* p = frame.data() + std::size_t(i) * 3;
        const RasterPixel c = (RasterPixel(p[2]) << 16) | (RasterPixel(p[1]) << 8) | p[0];
        if (i % 320 >= 40) {
            gauge.Set(i % 320 - 40, i / 320, c);
        } else if (strip.empty() && c != 0x203040) {
            strip = std::to_string(i % 320) + "," + std::to_string(i / 320);
        }
    }
    return gauge;
}

// An RLE8 .bmp of the surface (the gauges draw only their bitmaps' colours, so
// a frame has few), read back by the gauge's own .bmp reader: the goldens stay
// small and are compared pixel for pixel. Empty when there are too many colours.
std::vector<std::uint8_t> EncodeRle8(const CRasterSurface& s) {
    std::vector<RasterPixel> palette;
    std::vector<std::uint8_t> rle;
    for (int y = s.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < s.Width();) {
            const RasterPixel c = s.At(x, y);
            auto at = std::find(palette.begin(), palette.end(), c);
            if (at == palette.end()) {
                if (palette.size() == 256) return {};
                at = palette.insert(palette.end(), c);
            }
            int n = 1;
            while (x + n < s.Width() && n < 255 && s.At(x + n, y) == c) ++n;
            rle.insert(rle.end(), {std::uint8_t(n), std::uint8_t(at - palette.begin())});
            x += n;
        }
        rle.insert(rle.end(), {0, std::uint8_t(y == 0 ? 1 : 0)});
    }
    const std::uint32_t offset = 54 + 4 * std::uint32_t(palette.size());
    std::vector<std::uint8_t> b(offset, 0);
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M', b[26] = 1, b[28] = 8, b[30] = 1;  // one plane, 8 bits, BI_RLE8
    put(2, offset + std::uint32_t(rle.size())), put(10, offset), put(14, 40);
    put(18, std::uint32_t(s.Width())), put(22, std::uint32_t(s.Height())), put(34, std::uint32_t(rle.size()));
    put(46, std::uint32_t(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i) put(54 + 4 * i, palette[i]);
    b.insert(b.end(), rle.begin(), rle.end());
    return b;
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// "" when golden/NAME.bmp, beside the binary, has the gauge's pixels; else the
// first pixel that differs, with the frame written as NAME.actual.bmp.
std::string CompareGolden(const std::string& name, const CRasterSurface& gauge) {
    const std::vector<std::uint8_t> bmp = EncodeRle8(gauge);
    if (bmp.empty()) return "more than 256 colours";
    const fs::path here(av::platform::GetExecutableFolder());
#if defined(AV_GOLDEN_SOURCE)
    if (std::getenv("AV_UPDATE_GOLDEN") != nullptr) {
        WriteFile(fs::path(AV_GOLDEN_SOURCE) / (name + ".bmp"), bmp);
        return "";
    }
#endif
    CRasterSurface golden;
    std::string differs = "golden/" + name + ".bmp is missing or unreadable";
    if (LoadBmpFile(av::platform::JoinPath(av::platform::JoinPath(here.wstring(), L"golden"),
                                           av::platform::FromUtf8(name + ".bmp")),
                    golden)) {
        differs = golden.Width() == gauge.Width() && golden.Height() == gauge.Height() ? "" : "its size differs";
        for (int i = 0; differs.empty() && i < gauge.Width() * gauge.Height(); ++i) {
            const int x = i % gauge.Width(), y = i / gauge.Width();
            if (golden.At(x, y) != gauge.At(x, y)) differs = "differs at " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    if (differs.empty()) return "";
    WriteFile(here / (name + ".actual.bmp"), bmp);
    return differs + "; written: " + (here / (name + ".actual.bmp")).string();
}

}  // namespace

// Level, a turn or a climb, and a value past the end of the scale (each gauge
// holds it at its stop): a sign, scale or clamp gone wrong shows in one of them.
TEST(SampleGauges, FramesMatchTheirGoldens) {
    const float kDeg = 0.017453292f;
    const State states[] = {
        {"sample_airspeed_0kt", L"AirspeedIndicator",
         {{L"Airspeed indicated", L"knots", 0}, {L"Gear handle position", L"bool", 1}}},
        {"sample_airspeed_120kt_flaps1_gear_up", L"AirspeedIndicator",
         {{L"Airspeed indicated", L"knots", 120}, {L"Flaps handle index", L"number", 1}}},
        {"sample_airspeed_250kt_past_stop", L"AirspeedIndicator",
         {{L"Airspeed indicated", L"knots", 250}, {L"Flaps handle index", L"number", 3},
          {L"Gear handle position", L"bool", 1}}},
        {"sample_attitude_level", L"AttitudeIndicator", {}},
        // Nose up is a negative pitch, a right bank a negative bank.
        {"sample_attitude_10up_30right", L"AttitudeIndicator",
         {{L"Attitude indicator pitch degrees", L"radians", -10 * kDeg},
          {L"Attitude indicator bank degrees", L"radians", -30 * kDeg}}},
        {"sample_attitude_40down_past_stop_20left", L"AttitudeIndicator",
         {{L"Attitude indicator pitch degrees", L"radians", 40 * kDeg},
          {L"Attitude indicator bank degrees", L"radians", 20 * kDeg}}},
        {"sample_altimeter_0ft", L"Altimeter",
         {{L"Indicated altitude", L"feet", 0}, {L"Kohlsman setting hg", L"inHg", 29.92f}}},
        {"sample_altimeter_12345ft", L"Altimeter",
         {{L"Indicated altitude", L"feet", 12345}, {L"Kohlsman setting hg", L"inHg", 29.92f}}},
        // A setting the soft buttons' KOHLSMAN_INC reached: every drum moves.
        {"sample_altimeter_12345ft_30_01", L"Altimeter",
         {{L"Indicated altitude", L"feet", 12345}, {L"Kohlsman setting hg", L"inHg", 30.01f}}},
        {"sample_turn_level", L"TurnCoordinator", {}},
        {"sample_turn_standard_right", L"TurnCoordinator",
         {{L"Turn indicator rate", L"radians per second", 3 * kDeg}, {L"Turn coordinator ball", L"position 128", 0}}},
        {"sample_turn_hard_left_skid_past_stop", L"TurnCoordinator",
         {{L"Turn indicator rate", L"radians per second", -9 * kDeg},
          {L"Turn coordinator ball", L"position 128", 200}}},
        {"sample_heading_0", L"HeadingIndicator", {}},
        {"sample_heading_90_bug_135", L"HeadingIndicator",
         {{L"Heading indicator", L"degrees", 90}, {L"Autopilot heading lock dir", L"degrees", 135}}},
        {"sample_heading_225_bug_200", L"HeadingIndicator",
         {{L"Heading indicator", L"degrees", 225}, {L"Autopilot heading lock dir", L"degrees", 200}}},
        {"sample_vsi_0", L"VerticalSpeed", {}},
        {"sample_vsi_700_up", L"VerticalSpeed", {{L"Vertical speed", L"feet per minute", 700}}},
        {"sample_vsi_2500_down_past_stop", L"VerticalSpeed", {{L"Vertical speed", L"feet per minute", -2500}}},
        {"sample_tach_0", L"Tachometer", {}},
        {"sample_tach_2400", L"Tachometer", {{L"General eng rpm:1", L"rpm", 2400}}},
        {"sample_tach_3800_past_stop", L"Tachometer", {{L"General eng rpm:1", L"rpm", 3800}}},
        {"sample_fuel_oil_cold_empty", L"FuelOil", {}},
        // 180 F is 639.67 R; 75 psi is 10,800 psf.
        {"sample_fuel_oil_cruise", L"FuelOil",
         {{L"Fuel left quantity", L"gallons", 20}, {L"Fuel right quantity", L"gallons", 13},
          {L"General eng oil temperature:1", L"rankine", 639.67f}, {L"General eng oil pressure:1", L"psf", 10800}}},
        {"sample_fuel_oil_past_stops", L"FuelOil",
         {{L"Fuel left quantity", L"gallons", 40}, {L"Fuel right quantity", L"gallons", -5},
          {L"General eng oil temperature:1", L"rankine", 800}, {L"General eng oil pressure:1", L"psf", 30000}}},
    };
    av::platform::ComInitialize();  // the XML reader is MSXML's on Windows
    const std::uint32_t pageId = 1;
    const std::wstring folder = av::platform::JoinPath(av::platform::GetExecutableFolder(), L"sample_gauges");
    for (const State& state : states) {
        CGaugeVariables variables;
        CGaugeRenderer renderer(&pageId);
        const std::wstring file = av::platform::JoinPath(av::platform::JoinPath(folder, state.gauge), L"gauge.xml");
        ASSERT_TRUE(renderer.LoadFromFile(variables, file)) << state.golden;
        renderer.ForEachImage([&](const CGaugeImage& image) {
            EXPECT_TRUE(image.IsLoaded()) << state.golden << ": " << av::platform::ToUtf8(image.Path());
        });
        for (const Setting& s : state.settings) variables.Set(L'A', s.name, s.unit, s.value);
        std::vector<std::uint8_t> frame(320 * 240 * 3);
        for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = std::uint8_t(0x203040 >> (8 * (i % 3)));
        renderer.Render(RasterView{frame.data(), 320, 240, 320 * 3, 3});
        std::string strip;
        const CRasterSurface gauge = GaugePixels(frame, strip);
        EXPECT_EQ(strip, "") << state.golden << ": drawn in the label strip";
        EXPECT_EQ(CompareGolden(state.golden, gauge), "") << state.golden;
    }
}
