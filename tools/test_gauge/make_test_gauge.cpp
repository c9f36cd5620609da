// Draws the built-in test gauge's five bitmaps (an airspeed indicator) and
// writes them as 24-bit .bmp files into the folder given, by default the
// "1024" folder beside this file, where they are kept:
//
//   make_test_gauge [folder]
//
// The device library's installation carries the originals; these stand in
// for them, in the sizes the test gauge's axes and windows call for. Black is
// transparent in an element image; RGB(1,1,1) is transparent in the
// background, which is also the two windowed elements' mask: the dial shows
// the true-airspeed ring through its lower window and the pressure tape
// through its upper one.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr Rgb kBlack{0, 0, 0}, kWindow{1, 1, 1}, kWhite{240, 240, 240};

struct Picture {
    int width, height;
    std::vector<Rgb> pixels;
    Picture(int w, int h, Rgb fill) : width(w), height(h), pixels(std::size_t(w) * h, fill) {}

    void Set(int x, int y, Rgb c) {
        if (x >= 0 && y >= 0 && x < width && y < height) pixels[std::size_t(y) * width + x] = c;
    }
    // Pixels whose centre lies within radius of the segment (x1,y1)-(x2,y2).
    void Line(double x1, double y1, double x2, double y2, double radius, Rgb c) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double px = x + 0.5 - x1, py = y + 0.5 - y1;
                const double dx = x2 - x1, dy = y2 - y1;
                const double len2 = dx * dx + dy * dy;
                double t = len2 > 0 ? (px * dx + py * dy) / len2 : 0;
                t = t < 0 ? 0 : (t > 1 ? 1 : t);
                const double ex = px - t * dx, ey = py - t * dy;
                if (ex * ex + ey * ey <= radius * radius) Set(x, y, c);
            }
        }
    }
    void Disc(double cx, double cy, double radius, Rgb c) { Line(cx, cy, cx, cy, radius, c); }
    void Ring(double cx, double cy, double inner, double outer, Rgb c) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                const double r = std::sqrt(dx * dx + dy * dy);
                if (r >= inner && r <= outer) Set(x, y, c);
            }
        }
    }
    void Box(int x0, int y0, int x1, int y1, Rgb c) {  // x1, y1 exclusive
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) Set(x, y, c);
        }
    }
};

bool WriteBmp(const std::string& path, const Picture& p) {
    const std::uint32_t stride = (std::uint32_t(p.width) * 3 + 3) & ~3u;
    const std::uint32_t imageSize = stride * std::uint32_t(p.height);
    std::vector<std::uint8_t> out(54 + imageSize, 0);
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        out[at] = std::uint8_t(v), out[at + 1] = std::uint8_t(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFF), put16(at + 2, v >> 16);
    };
    out[0] = 'B', out[1] = 'M';
    put32(2, std::uint32_t(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(p.width));
    put32(22, std::uint32_t(p.height));  // bottom-up, as most bitmaps are
    put16(26, 1);
    put16(28, 24);
    put32(34, imageSize);
    put32(38, 3780), put32(42, 3780);
    for (int y = 0; y < p.height; ++y) {
        std::uint8_t* row = out.data() + 54 + std::size_t(p.height - 1 - y) * stride;
        for (int x = 0; x < p.width; ++x) {
            const Rgb c = p.pixels[std::size_t(y) * p.width + x];
            row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
        }
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

constexpr double kPi = 3.14159265358979323846;

// The needle's table: airspeed and the dial point it aims at, from (73, 76).
const double kNeedlePoints[][3] = {
    {0, 73.3125, 15.9375},    {40, 95.625, 17.53125},   {50, 111.5625, 27.09375},
    {60, 117.9375, 31.875},   {80, 135.46875, 62.15625}, {130, 98.8125, 133.875},
    {160, 51.0, 122.71875},   {190, 27.09375, 94.03125}, {200, 17.53125, 82.875},
    {260, 44.625, 23.90625}};

Picture Background() {
    Picture p(153, 153, Rgb{52, 54, 58});  // the bezel
    p.Disc(76.5, 78.09375, 72, Rgb{22, 24, 28});
    p.Ring(76.5, 78.09375, 70, 72, Rgb{150, 150, 150});
    // The speed arcs, as the dial's colours: white, green, yellow, red.
    const double cx = 73, cy = 76;
    auto direction = [&](double x, double y) { return std::atan2(y - cy, x - cx); };
    auto arc = [&](double from, double to, Rgb c) {
        for (int i = 0; i <= 60; ++i) {
            double a0 = from, a1 = to;
            if (a1 < a0) a1 += 2 * kPi;
            const double a = a0 + (a1 - a0) * i / 60.0;
            p.Disc(cx + 62 * std::cos(a), cy + 62 * std::sin(a), 2.2, c);
        }
    };
    arc(direction(95.625, 17.53125), direction(117.9375, 31.875), Rgb{230, 230, 230});
    arc(direction(117.9375, 31.875), direction(51.0, 122.71875), Rgb{40, 190, 70});
    arc(direction(51.0, 122.71875), direction(17.53125, 82.875), Rgb{230, 200, 40});
    // The marks of the needle's table: a tick toward the centre from each point.
    for (const auto& point : kNeedlePoints) {
        const double dx = cx - point[1], dy = cy - point[2];
        const double len = std::sqrt(dx * dx + dy * dy);
        p.Line(point[1], point[2], point[1] + dx / len * 9, point[2] + dy / len * 9, 1.2, kWhite);
    }
    p.Line(17.53125, 82.875, 17.53125 + 10, 82.875 - 1, 1.6, Rgb{220, 40, 40});  // never exceed
    // The two windows the element images show through.
    p.Box(52, 23, 92, 38, kWindow);   // pressure tape
    p.Box(61, 98, 93, 113, kWindow);  // true-airspeed ring
    p.Ring(76.5, 78.09375, 0, 3, Rgb{90, 90, 96});
    return p;
}

Picture TrueAirspeedRing() {
    Picture p(134, 118, kBlack);
    const double cx = 66.9375, cy = 58.96875;
    p.Ring(cx, cy, 21, 34, Rgb{30, 34, 40});
    for (int i = 0; i < 24; ++i) {
        const double a = i * 2 * kPi / 24;
        const bool major = i % 3 == 0;
        const Rgb c = major ? Rgb{255, 210, 60} : Rgb{80, 200, 255};
        const double r0 = major ? 22 : 26;
        p.Line(cx + r0 * std::cos(a), cy + r0 * std::sin(a), cx + 33 * std::cos(a),
               cy + 33 * std::sin(a), major ? 1.4 : 0.9, c);
    }
    return p;
}

Picture PressureTape() {
    Picture p(410, 20, kBlack);
    p.Box(0, 0, 410, 20, Rgb{18, 40, 22});
    for (int x = 0; x < 410; x += 5) {
        const int h = x % 50 == 0 ? 13 : (x % 10 == 0 ? 8 : 4);
        p.Box(x, 17 - h, x + (x % 50 == 0 ? 2 : 1), 17, Rgb{120, 240, 140});
    }
    p.Box(0, 17, 410, 18, Rgb{120, 240, 140});
    p.Box(203, 0, 206, 4, Rgb{255, 90, 60});  // the reference mark at the axis
    return p;
}

Picture Needle() {
    Picture p(82, 13, kBlack);
    const double ax = 24.117647, ay = 6.5;
    p.Line(3, ay, ax, ay, 2.0, Rgb{200, 200, 200});     // the tail
    p.Line(ax, ay, 78, ay, 1.6, Rgb{250, 250, 250});    // the pointer
    p.Line(72, ay, 80.5, ay, 0.8, Rgb{250, 120, 40});   // its tip
    p.Disc(ax, ay, 6, Rgb{70, 70, 76});
    p.Disc(ax, ay, 2.5, Rgb{170, 170, 176});
    return p;
}

Picture Knob() {
    Picture p(27, 29, kBlack);
    const double cx = 13.546875, cy = 14.34375;
    p.Disc(cx, cy, 12.5, Rgb{96, 98, 104});
    p.Ring(cx, cy, 10.5, 12.5, Rgb{150, 152, 160});
    p.Line(cx, cy, cx + 10, cy, 1.3, Rgb{250, 250, 250});  // the index points along +x
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : std::string(AV_TEST_GAUGE_SOURCE) + "/1024";
    const struct {
        const char* name;
        Picture picture;
    } files[] = {
        {"Airspeed_Background.bmp", Background()}, {"Airspeed_TAS.bmp", TrueAirspeedRing()},
        {"Airspeed_INHG.bmp", PressureTape()},     {"Airspeed_Needle.bmp", Needle()},
        {"Airspeed_Knob.bmp", Knob()},
    };
    for (const auto& file : files) {
        const std::string path = folder + "/" + file.name;
        if (!WriteBmp(path, file.picture)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
