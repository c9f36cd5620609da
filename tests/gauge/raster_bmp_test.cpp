#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "plugins/aviaro/gauge/bmp_reader.h"
#include "plugins/aviaro/gauge/raster.h"

// Files are described by naming only the fields that matter to each case.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

// A .bmp file put together field by field, so that a test can make it lie.
struct BmpFile {
    std::uint32_t headerSize = 40;
    std::int32_t width = 0, height = 0;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::vector<std::uint32_t> masks;    // after a 40-byte header
    std::vector<std::uint8_t> pixels;
    long offsetDelta = 0;  // added to the pixel offset

    std::vector<std::uint8_t> Bytes() const {
        // A header size that lies still gets a 40-byte header to lie about.
        std::vector<std::uint8_t> b(14 + (headerSize <= 124 ? headerSize : 40), 0);
        auto put = [&](std::size_t at, std::uint32_t v, int n) {
            for (int i = 0; i < n; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
        };
        b[0] = 'B', b[1] = 'M';
        put(14, headerSize, 4);
        if (headerSize == 12) {
            put(18, std::uint32_t(width), 2), put(20, std::uint32_t(height), 2);
            put(22, 1, 2), put(24, bitCount, 2);
        } else {
            put(18, std::uint32_t(width), 4), put(22, std::uint32_t(height), 4);
            put(26, 1, 2), put(28, bitCount, 2), put(30, compression, 4), put(46, colorsUsed, 4);
        }
        for (std::uint32_t m : masks) {
            for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(m >> (8 * i)));
        }
        for (std::uint32_t c : palette) {
            b.push_back(std::uint8_t(c)), b.push_back(std::uint8_t(c >> 8)), b.push_back(std::uint8_t(c >> 16));
            if (headerSize != 12) b.push_back(0);
        }
        put(10, std::uint32_t(long(b.size()) + offsetDelta), 4);
        b.insert(b.end(), pixels.begin(), pixels.end());
        put(2, std::uint32_t(b.size()), 4);
        return b;
    }
};

// The decoded pixels as text, rows separated by "/", or "refused".
std::string Decode(const BmpFile& file) {
    const std::vector<std::uint8_t> bytes = file.Bytes();
    CRasterSurface s;
    if (!DecodeBmp(bytes.data(), bytes.size(), s)) return s.IsEmpty() ? "refused" : "refused, not empty";
    std::string out;
    char px[8];
    for (int y = 0; y < s.Height(); ++y) {
        if (y > 0) out += "/";
        for (int x = 0; x < s.Width(); ++x) {
            std::snprintf(px, sizeof px, "%s%06X", x > 0 ? " " : "", s.At(x, y));
            out += px;
        }
    }
    return out;
}

const std::vector<std::uint32_t> kPalette4 = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

TEST(BmpReader, DecodesEveryFormatItReads) {
    struct Case {
        const char* what;
        BmpFile file;
        std::string expected;
    };
    BmpFile rgb24{.width = 3, .height = 2, .pixels = {
        // bottom row first; 9 bytes of pixels and 3 of padding per row
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xEE, 0xEE, 0xEE,
        0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0xEE, 0xEE, 0xEE}};
    BmpFile topDown = rgb24;
    topDown.height = -2;
    BmpFile pal8{.width = 3, .height = 1, .bitCount = 8, .colorsUsed = 3,
                 .palette = {0x102030, 0x405060, 0x708090}, .pixels = {2, 0, 5, 0}};
    BmpFile pal4{.width = 3, .height = 1, .bitCount = 4, .colorsUsed = 4, .palette = kPalette4,
                 .pixels = {0x12, 0x30, 0, 0}};
    BmpFile pal1{.width = 10, .height = 1, .bitCount = 1, .colorsUsed = 2,
                 .palette = {0x0A0B0C, 0xF0E0D0}, .pixels = {0xA5, 0x80, 0, 0}};
    BmpFile rgb555{.width = 2, .height = 1, .bitCount = 16, .pixels = {0x1F, 0x00, 0xE0, 0x03}};
    BmpFile rgb565{.width = 2, .height = 1, .bitCount = 16, .compression = 3,
                   .masks = {0xF800, 0x07E0, 0x001F}, .pixels = {0x00, 0xF8, 0x1F, 0x00}};
    BmpFile rgb32{.width = 1, .height = 2, .bitCount = 32, .pixels = {1, 2, 3, 0xFF, 4, 5, 6, 0}};
    BmpFile core{.headerSize = 12, .width = 2, .height = 1, .bitCount = 8,
                 .palette = std::vector<std::uint32_t>(256, 0x010203), .pixels = {0, 7, 0, 0}};
    core.palette[7] = 0xA1B2C3;
    // RLE8, 6 × 3, bottom row first: a run, a literal of 3 (padded), end of
    // line; a delta of (2, 1) (skipping the rest of row 1 and two pixels of
    // row 2); a run of 1; end of bitmap. Skipped pixels are black.
    BmpFile rle8{.width = 6, .height = 3, .bitCount = 8, .compression = 1, .colorsUsed = 4,
                 .palette = kPalette4,
                 .pixels = {2, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 3, 1, 1, 3, 0, 1}};
    // RLE4, 6 × 1: a run of 3 alternating 1 and 2, a literal of 3 (3, 1, 2).
    BmpFile rle4{.width = 6, .height = 1, .bitCount = 4, .compression = 2, .colorsUsed = 4,
                 .palette = kPalette4, .pixels = {3, 0x12, 0, 3, 0x31, 0x20, 0, 1}};
    const Case cases[] = {
        {"24 bits, bottom-up, padded rows", rgb24, "131211 161514 191817/030201 060504 090807"},
        {"24 bits, top-down", topDown, "030201 060504 090807/131211 161514 191817"},
        {"8 bits: an index past the palette is black", pal8, "708090 102030 000000"},
        {"4 bits", pal4, "FF0000 00FF00 0000FF"},
        {"1 bit", pal1, "F0E0D0 0A0B0C F0E0D0 0A0B0C 0A0B0C F0E0D0 0A0B0C F0E0D0 F0E0D0 0A0B0C"},
        {"16 bits 5-5-5", rgb555, "0000FF 00FF00"},
        {"16 bits, 5-6-5 bit fields", rgb565, "FF0000 0000FF"},
        {"32 bits: the fourth byte is dropped", rgb32, "060504/030201"},
        {"core header, 3-byte palette", core, "010203 A1B2C3"},
        {"RLE8", rle8, "000000 000000 000000 0000FF 000000 000000/"
                       "000000 000000 000000 000000 000000 000000/"
                       "FF0000 FF0000 00FF00 0000FF FF0000 000000"},
        {"RLE4", rle4, "FF0000 00FF00 FF0000 0000FF FF0000 00FF00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Decode(c.file), c.expected) << c.what;
        // Every shorter piece (a palette, bit fields or pixels cut short, RLE
        // without its end) is refused without reading past it.
        const std::vector<std::uint8_t> bytes = c.file.Bytes();
        CRasterSurface s;
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            ASSERT_FALSE(DecodeBmp(bytes.data(), n, s)) << c.what << ", cut to " << n;
        }
    }
}

TEST(BmpReader, RefusesFilesThatLie) {
    const BmpFile good{.width = 2, .height = 2, .pixels = std::vector<std::uint8_t>(16, 0x40)};
    ASSERT_EQ(Decode(good), "404040 404040/404040 404040");
    struct Case {
        const char* what;
        BmpFile file;
    };
    std::vector<Case> cases;
    auto with = [&](const char* what, auto change) {
        BmpFile f = good;
        change(f);
        cases.push_back({what, f});
    };
    with("pixel offset past the end", [](BmpFile& f) { f.offsetDelta = 100; });
    with("height INT_MIN", [](BmpFile& f) { f.height = INT_MIN; });
    with("height 0", [](BmpFile& f) { f.height = 0; });
    with("negative width", [](BmpFile& f) { f.width = -2; });
    with("a side past the limit", [](BmpFile& f) { f.width = kBmpMaxSide + 1, f.height = 1; });
    with("both sides at the limit: too many pixels", [](BmpFile& f) { f.width = f.height = kBmpMaxSide; });
    with("a header size past the end", [](BmpFile& f) { f.headerSize = 0xFFFFFFF0u; });
    with("an unknown header size", [](BmpFile& f) { f.headerSize = 64; });
    with("2 bits a pixel", [](BmpFile& f) { f.bitCount = 2; });
    with("bit fields with 24 bits", [](BmpFile& f) { f.compression = 3; });
    with("more colours than the bits allow", [](BmpFile& f) {
        f.bitCount = 4, f.colorsUsed = 17, f.palette.assign(17, 0), f.pixels.assign(8, 0);
    });
    auto rle = [&](const char* what, std::vector<std::uint8_t> data, std::int32_t height = 1) {
        BmpFile f{.width = 4, .height = height, .bitCount = 8, .compression = 1, .colorsUsed = 4,
                  .palette = kPalette4, .pixels = std::move(data)};
        cases.push_back({what, f});
    };
    rle("an RLE run past the row", {5, 1, 0, 1});
    rle("an RLE literal past the row", {1, 1, 0, 4, 1, 1, 1, 1, 0, 1});
    rle("an RLE delta past the image", {0, 2, 0, 2, 0, 1});
    rle("an RLE run after the last row", {0, 0, 1, 1, 0, 1});
    rle("RLE top-down", {2, 1, 0, 1}, -1);
    for (const Case& c : cases) EXPECT_EQ(Decode(c.file), "refused") << c.what;
    // The RLE cases above differ from good ones only where they lie.
    BmpFile fits{.width = 4, .height = 1, .bitCount = 8, .compression = 1, .colorsUsed = 4,
                 .palette = kPalette4, .pixels = {4, 1, 0, 1}};
    EXPECT_EQ(Decode(fits), "FF0000 FF0000 FF0000 FF0000");
    fits.pixels = {0, 2, 4, 0, 0, 1};  // a delta to the row's very end
    EXPECT_EQ(Decode(fits), "000000 000000 000000 000000");
}

// A surface's pixels as text, "." for the fill.
std::string Show(const CRasterSurface& s, RasterPixel fill) {
    std::string out;
    for (int y = 0; y < s.Height(); ++y) {
        if (y > 0) out += "/";
        for (int x = 0; x < s.Width(); ++x) {
            const RasterPixel p = s.At(x, y);
            out += p == fill ? '.' : char('a' + (p & 0xFF) - 1);
        }
    }
    return out;
}

TEST(Raster, CopiesClipOnBothSidesAndSkipTheKey) {
    // A 3 × 2 source: a b c / d e f, with e the key colour.
    CRasterSurface src(3, 2);
    for (int i = 0; i < 6; ++i) src.Set(i % 3, i / 3, RasterPixel(0x100 + i + 1));
    const RasterPixel key = 0x105, fill = 0xEEEEEE;
    struct Case {
        const char* what;
        int dx, dy, sx, sy, w, h;
        std::string expected;
    };
    const Case cases[] = {
        {"inside, keyed e skipped", 1, 1, 0, 0, 3, 2, "...../.abc./.d.f./....."},
        {"source starting left of the image", 0, 0, -1, 0, 3, 2, ".ab../.d.../...../....."},
        {"source starting above the image", 0, 0, 0, -1, 3, 2, "...../abc../...../....."},
        {"source past the right edge", 0, 0, 2, 0, 3, 2, "c..../f..../...../....."},
        {"destination left of and above the surface", -2, -1, 0, 0, 3, 2, "f..../...../...../....."},
        {"destination past the bottom right", 4, 3, 0, 0, 3, 2, "...../...../...../....a"},
        {"huge coordinates", INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, "...../...../...../....."},
        {"a source wholly outside", 0, 0, 3, 0, 3, 2, "...../...../...../....."},
        {"negative size", 0, 0, 0, 0, -3, 2, "...../...../...../....."},
    };
    for (const Case& c : cases) {
        CRasterSurface dst(5, 4);
        dst.Fill(fill);
        RasterCopy(dst.View(), c.dx, c.dy, src, c.sx, c.sy, c.w, c.h, key);
        EXPECT_EQ(Show(dst, fill), c.expected) << c.what;
    }
    // A clip rectangle and a bottom-up 3-byte frame: rows are found through a
    // negative stride, and only the clip's pixels change.
    std::vector<std::uint8_t> bottomUp(4 * 2 * 3, 0x77);
    RasterView view{bottomUp.data() + 4 * 3, 4, 2, -4 * 3, 3};
    const RasterBounds clip{1, 0, 3, 2};
    RasterCopy(view, 0, 0, src, 0, 0, 3, 2, key, RasterCopyMode::Keyed, &clip);
    const std::vector<std::uint8_t> want = {
        // y = 1 comes first in memory: e is the key and is not written
        0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x06, 0x01, 0x00, 0x77, 0x77, 0x77,
        0x77, 0x77, 0x77, 0x02, 0x01, 0x00, 0x03, 0x01, 0x00, 0x77, 0x77, 0x77};
    EXPECT_EQ(bottomUp, want);
}

TEST(Raster, AMaskGoesOnWithoutBlackAndItsImageOnlyIntoItsWindow) {
    // The mask a black p / q a black (a = RGB(1,1,1), its key); the image is
    // h everywhere (black its key). Black mask pixels hide the image and show
    // nothing; the cover may lie partly off the frame.
    CRasterSurface mask(3, 2);
    const RasterPixel maskPixels[] = {0x010101, 0x000000, 0x000010, 0x000011, 0x010101, 0x000000};
    for (int i = 0; i < 6; ++i) mask.Set(i % 3, i / 3, maskPixels[i]);
    CRasterRuns maskRuns, imageRuns;
    maskRuns.Build(mask, 0x010101);
    CRasterSurface image(5, 4);
    image.Fill(0x108);
    imageRuns.Build(image, 0);
    struct Case {
        int x, y;
        std::string expected;
    };
    const Case cases[] = {
        {1, 1, "hhhhh/hh.ph/hqh.h/hhhhh"},
        {-1, 0, ".phhh/h.hhh/hhhhh/hhhhh"},
        {3, 3, "hhhhh/hhhhh/hhhhh/hhhh."},
    };
    RasterTransform identity;
    for (const Case& c : cases) {
        const RasterCover cover{&maskRuns, c.x, c.y};
        for (int copy = 0; copy < 3; ++copy) {
            CRasterSurface dst(5, 4);
            dst.Fill(0xEEEEEE);
            RasterCopy(dst.View(), c.x, c.y, mask, 0, 0, 3, 2, 0x010101, RasterCopyMode::KeyedNotBlack,
                       nullptr, nullptr, &maskRuns);
            // Straight (tested pixel by pixel, then by runs) and transformed.
            if (copy < 2) {
                RasterCopy(dst.View(), 0, 0, image, 0, 0, 5, 4, 0, RasterCopyMode::Keyed, nullptr,
                           nullptr, copy == 1 ? &imageRuns : nullptr, &cover);
            } else {
                RasterCopyTransformed(dst.View(), identity, 0, 0, image, 5, 4, 0,
                                      RasterCopyMode::Keyed, nullptr, nullptr, nullptr, &cover);
            }
            EXPECT_EQ(Show(dst, 0xEEEEEE), c.expected) << c.x << "," << c.y << " copy " << copy;
        }
    }
}

TEST(Raster, TransformedCopiesTakeExactlyThePixelsWhoseCentresLandInside) {
    // The 3 × 2 source a b c / d e f (e the key) through transforms whose
    // pixel centres fall on the source's edges: [0, size) is inside.
    CRasterSurface src(3, 2);
    for (int i = 0; i < 6; ++i) src.Set(i % 3, i / 3, RasterPixel(0x100 + i + 1));
    auto moved = [](float x, float y) {
        RasterTransform m;
        m.Translate(x, y);
        return m;
    };
    RasterTransform half = moved(-1.5f, -1.0f), twice, mirrored;
    half.Rotate(180.0f);
    half.Translate(2.5f, 2.0f);
    twice.m11 = twice.m22 = 2.0f;
    mirrored.m11 = -1.0f, mirrored.dx = 3.0f;
    const RasterBounds rightPart{1, 0, 3, 2};
    struct Case {
        const char* what;
        RasterTransform m;
        const RasterBounds* part;
        std::string expected;
    };
    const Case cases[] = {
        {"whole pixels", moved(1.0f, 1.0f), nullptr, "...../.abc./.d.f./....."},
        {"centres on the left and right edges", moved(0.5f, 0.0f), nullptr, "abc../d.f../...../....."},
        {"centres on the right and bottom edges", moved(-0.5f, -0.5f), nullptr, ".f.../...../...../....."},
        {"a half turn", half, nullptr, "...../.f.d./.cba./....."},
        {"twice the size", twice, nullptr, "aabbc/aabbc/dd..f/dd..f"},
        {"mirrored: the steps run backwards", mirrored, nullptr, "cba../f.d../...../....."},
        {"only the part named", moved(1.0f, 1.0f), &rightPart, "...../..bc./...f./....."},
    };
    for (const Case& c : cases) {
        CRasterSurface dst(5, 4);
        dst.Fill(0xEEEEEE);
        RasterCopyTransformed(dst.View(), c.m, 0, 0, src, 3, 2, 0x105, RasterCopyMode::Keyed, nullptr,
                              nullptr, c.part);
        EXPECT_EQ(Show(dst, 0xEEEEEE), c.expected) << c.what;
        // A bottom-up 3-byte frame takes the same pixels.
        std::vector<std::uint8_t> frame(5 * 4 * 3, 0xEE);
        RasterCopyTransformed(RasterView{frame.data() + 3 * 5 * 3, 5, 4, -5 * 3, 3}, c.m, 0, 0, src, 3, 2,
                              0x105, RasterCopyMode::Keyed, nullptr, nullptr, c.part);
        for (int i = 0; i < 20; ++i) {
            const RasterPixel p = dst.At(i % 5, 3 - i / 5);
            EXPECT_EQ(frame[i * 3] | frame[i * 3 + 1] << 8 | frame[i * 3 + 2] << 16, p) << c.what << " " << i;
        }
    }
}

TEST(Raster, RingOfAnImageAndTurnedCopiesWithinIt) {
    // Pixel centres 2 and √8 from (2.5, 2.5); nothing but the key.
    CRasterSurface few(5, 5), none(5, 5);
    few.Set(4, 2, 0x10);
    few.Set(0, 0, 0x20);
    const RasterRing r = RasterRingOf(few, 0, 2.5, 2.5);
    EXPECT_DOUBLE_EQ(r.inner, 2.0);
    EXPECT_DOUBLE_EQ(r.outer, std::sqrt(8.0));
    const RasterRing empty = RasterRingOf(none, 0, 2.5, 2.5);
    EXPECT_GT(empty.inner, empty.outer);

    // A ring card: each pixel whose centre is 8 to 18 from (20.5, 20.5) its
    // own colour, the rest the key. Drawn through many transforms, the walk
    // within the ring gives exactly the plain walk's pixels.
    CRasterSurface card(41, 41);
    for (int y = 0; y < 41; ++y) {
        for (int x = 0; x < 41; ++x) {
            const double d = std::hypot(x + 0.5 - 20.5, y + 0.5 - 20.5);
            if (d >= 8.0 && d <= 18.0) card.Set(x, y, RasterPixel(0x10000 + y * 64 + x));
        }
    }
    const RasterRing ring = RasterRingOf(card, 0, 20.5, 20.5);
    const RasterBounds visible = RasterOpaqueBounds(card, 0);
    struct Scale {
        float x, y;
    };
    const Scale scales[] = {{1, 1}, {2.5f, 2.5f}, {0.6f, 0.6f}, {2, 0.7f}, {-1, 1}, {1.3f, -1.9f}};
    int cases = 0;
    for (float angle : {0.0f, 17.5f, 45.0f, 90.0f, 133.0f, 200.0f, 271.25f}) {
        for (const Scale& scale : scales) {
            RasterTransform m;
            m.Translate(-20.5f, -20.3f);
            m.m11 *= scale.x, m.m21 *= scale.x, m.dx *= scale.x;
            m.m12 *= scale.y, m.m22 *= scale.y, m.dy *= scale.y;
            m.Rotate(angle);
            m.Translate(48.25f, 47.6f);
            CRasterSurface plain(96, 96), within(96, 96);
            RasterCopyTransformed(plain.View(), m, 0, 0, card, 41, 41, 0, RasterCopyMode::Keyed, nullptr,
                                  nullptr, &visible);
            RasterCopyTransformed(within.View(), m, 0, 0, card, 41, 41, 0, RasterCopyMode::Keyed, nullptr,
                                  nullptr, &visible, nullptr, &ring);
            int drawn = 0, differ = 0;
            for (int i = 0; i < 96 * 96; ++i) {
                drawn += plain.At(i % 96, i / 96) != 0;
                differ += plain.At(i % 96, i / 96) != within.At(i % 96, i / 96);
            }
            EXPECT_GT(drawn, 100) << angle << " " << scale.x << " " << scale.y;
            EXPECT_EQ(differ, 0) << angle << " " << scale.x << " " << scale.y;
            ++cases;
        }
    }
    EXPECT_EQ(cases, 42);

    // The walk stays within the ring it is given: told 10 to 14, a straight
    // copy draws every pixel 10 to 14 out and none 7 or less or 17 or more.
    RasterTransform moved;
    moved.Translate(3.0f, 2.0f);
    const RasterRing told{20.5, 20.5, 10.0, 14.0};
    CRasterSurface dst(48, 48);
    RasterCopyTransformed(dst.View(), moved, 0, 0, card, 41, 41, 0, RasterCopyMode::Keyed, nullptr, nullptr,
                          &visible, nullptr, &told);
    int wrong = 0;
    for (int y = 0; y < 41; ++y) {
        for (int x = 0; x < 41; ++x) {
            const double d = std::hypot(x + 0.5 - 20.5, y + 0.5 - 20.5);
            const bool shown = dst.At(x + 3, y + 2) != 0;
            if ((d >= 10.0 && d <= 14.0 && !shown) || ((d <= 7.0 || d >= 17.0) && shown)) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(Raster, TransformedCopiesTurnAboutTheTransformAndRefuseNonsense) {
    // A 3 × 1 source a b c turned a quarter counter-clockwise (+x to screen
    // up) about its first pixel's centre, landing that centre at (1.5, 2.5).
    CRasterSurface src(3, 1);
    for (int i = 0; i < 3; ++i) src.Set(i, 0, RasterPixel(0x100 + i + 1));
    auto draw = [&](const RasterTransform& m, int ox = 0, int oy = 0) {
        CRasterSurface dst(4, 4);
        dst.Fill(0xEEEEEE);
        RasterCopyTransformed(dst.View(), m, ox, oy, src, 3, 1, 0);
        return Show(dst, 0xEEEEEE);
    };
    RasterTransform m;
    m.Translate(-0.5f, -0.5f);
    m.Rotate(90.0f);
    m.Translate(1.5f, 2.5f);
    EXPECT_EQ(draw(m), ".c../.b../.a../....");
    EXPECT_EQ(draw(m, 1, -1), "..b./..a./..../....");  // the origin only moves it
    // Then a half turn about (0, 0): off the surface; not a number; infinite; not invertible.
    RasterTransform off = m, nan, far, flat;
    off.Rotate(180.0f);
    nan.Rotate(std::nanf(""));
    far.Translate(3e38f, -3e38f), far.Translate(3e38f, -3e38f);
    flat.m11 = flat.m22 = 0.0f;
    for (const RasterTransform& t : {off, nan, far, flat}) EXPECT_EQ(draw(t), "..../..../..../....");
    // Whole turns give the same bits on every platform: our own series.
    double sine, cosine;
    RasterSinCosDegrees(270.0, sine, cosine);
    EXPECT_EQ(std::make_pair(sine, cosine), std::make_pair(-1.0, 0.0));
}

}  // namespace
