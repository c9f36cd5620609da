// The gauge's pixels: 32-bit surfaces and the few operations the renderer
// needs (colour-keyed copies, straight or under a translate/rotate transform,
// and filling). Our own code on every platform, so that every build draws the
// same pixels: GDI under Wine drops colour-keyed copies under a rotating world
// transform, and no two GDIs need agree on where a rotated pixel lands.
//
// Every operation clips against both surfaces: no rectangle, transform or
// coordinate (however large, negative or not finite) reads or writes outside
// a surface's pixels.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// A pixel is 0x00RRGGBB: in memory B, G, R and an unused byte, as a 32-bit
// Windows DIB holds it. Colour keys compare the red, green and blue bytes only.
using RasterPixel = std::uint32_t;
constexpr RasterPixel kRasterRgbMask = 0x00FFFFFFu;
// Pi as gauges use it: the float nearest pi, widened.
constexpr double kGaugePi = 3.1415927410125732;
// A COLORREF (0x00BBGGRR) as a pixel.
constexpr RasterPixel RasterPixelFromColorRef(std::uint32_t colorRef) {
    return ((colorRef & 0xFFu) << 16) | (colorRef & 0xFF00u) | ((colorRef >> 16) & 0xFFu);
}

// Pixels someone else owns (the page's frame, a DIB section's memory): 3 bytes
// (B, G, R) or 4 bytes (B, G, R, unused) per pixel. stride is the distance in
// bytes from one row to the next, negative for a bottom-up bitmap (bits then
// points at the top row).
struct RasterView {
    std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    int bytesPerPixel = 4;
};

// A top-down 32-bit surface that owns its pixels. Resizing to a size it has
// held before (or smaller) allocates nothing.
class CRasterSurface {
public:
    CRasterSurface() = default;
    CRasterSurface(int width, int height) { Resize(width, height); }

    // Negative sizes count as 0. New pixels are black.
    void Resize(int width, int height);
    void Fill(RasterPixel colour);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsEmpty() const { return width_ == 0 || height_ == 0; }
    RasterPixel* Pixels() { return pixels_.data(); }
    const RasterPixel* Pixels() const { return pixels_.data(); }
    RasterPixel At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
    void Set(int x, int y, RasterPixel p) { pixels_[static_cast<std::size_t>(y) * width_ + x] = p; }
    RasterView View();

private:
    std::vector<RasterPixel> pixels_;
    int width_ = 0;
    int height_ = 0;
};

// The pixels of a surface that are not one key colour, as runs along each row:
// copies of a bitmap that changes no more (a background, a mask) then skip the
// key without testing every pixel.
class CRasterRuns {
public:
    struct Run {
        int x0, x1;     // columns [x0, x1)
        bool hasBlack;  // a pixel of the run is black
    };
    void Build(const CRasterSurface& surface, RasterPixel key);
    bool IsBuiltFor(const CRasterSurface& surface, RasterPixel key) const {
        return height_ == surface.Height() && width_ == surface.Width() && key_ == key;
    }
    int Rows() const { return std::max(height_, 0); }
    const Run* RowBegin(int y) const { return runs_.data() + rowStart_[static_cast<std::size_t>(y)]; }
    const Run* RowEnd(int y) const { return runs_.data() + rowStart_[static_cast<std::size_t>(y) + 1]; }

private:
    std::vector<std::uint32_t> rowStart_;
    std::vector<Run> runs_;
    int width_ = -1, height_ = -1;
    RasterPixel key_ = 0;
};

// Pixels a copy leaves alone: those of runs, with the surface they were built
// for placed at (x, y) on the destination. A masked element's image goes only
// where its mask leaves a window; the mask covers the rest anyway.
struct RasterCover {
    const CRasterRuns* runs = nullptr;
    int x = 0, y = 0;
};

// A rectangle of pixels written, for callers that clear only what they drew.
struct RasterBounds {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    bool IsEmpty() const { return right <= left || bottom <= top; }
    void Add(int l, int t, int r, int b);
};

// A 2-D affine transform in row-vector form: a point (x, y) maps to
// (x·m11 + y·m21 + dx, x·m12 + y·m22 + dy). Each step is rounded to float,
// as a world transform holds it.
struct RasterTransform {
    float m11 = 1.0f, m12 = 0.0f, m21 = 0.0f, m22 = 1.0f, dx = 0.0f, dy = 0.0f;

    // Both append: the new operation takes effect after the existing ones.
    void Translate(float x, float y);
    // Degrees; positive turns +x toward screen-up (counter-clockwise on a
    // display whose y grows downward).
    void Rotate(float degrees);
};

// Sine and cosine of an angle in degrees, computed by our own series so that
// every platform's library gives the same bits.
void RasterSinCosDegrees(double degrees, double& sine, double& cosine);

// What a copy does with the source pixels it covers.
enum class RasterCopyMode {
    Keyed,          // copy every pixel except those of the key colour
    FillBlack,      // write black wherever the source rectangle lands
    KeyedNotBlack,  // as Keyed, and black is left out too (a mask onto a frame)
};

// Copies w × h pixels of src from (sx, sy) to dst at (dx, dy), skipping the
// key colour. Parts of the rectangle outside either surface or outside clip
// (destination coordinates; null: the whole destination) are left out; the
// rest is drawn where it would have been. written, when given, grows by the
// destination rectangle covered (keyed pixels included).
// runs, when given, must be built for src and key: they replace the per-pixel
// key test. cover, when given, names destination pixels left as they are.
void RasterCopy(const RasterView& dst, int dx, int dy, const CRasterSurface& src, int sx, int sy,
                int w, int h, RasterPixel key, RasterCopyMode mode = RasterCopyMode::Keyed,
                const RasterBounds* clip = nullptr, RasterBounds* written = nullptr,
                const CRasterRuns* runs = nullptr, const RasterCover* cover = nullptr);

// Where the pixels of a surface that are not one key colour lie about a point
// (cx, cy) of it: the centre of every such pixel is between inner and outer
// from the point. A turned copy of a round card or a ring then visits only the
// destination pixels that can land on one. A surface without such pixels has
// inner > outer.
struct RasterRing {
    double cx = 0.0, cy = 0.0;
    double inner = 0.0, outer = 0.0;
};
RasterRing RasterRingOf(const CRasterSurface& surface, RasterPixel key, double cx, double cy);

// Copies the w × h pixels of src at (0, 0) through transform m, whose output
// lands at (originX, originY) on dst. Each destination pixel whose centre maps
// inside the source rectangle takes the source pixel it lands in, unless that
// pixel is the key colour; the centres are those of the transform's own pixel
// grid, so the origin moves the picture without changing it. A transform
// that is not finite or not invertible draws nothing. clip and written as for
// RasterCopy. sourcePart, for a keyed copy, may name the part of src outside
// which every pixel is the key (RasterOpaqueBounds): nothing else is visited.
// cover as for RasterCopy. ring, for a keyed copy, must be RasterRingOf(src,
// key, ...): pixels that cannot land within it are not visited.
void RasterCopyTransformed(const RasterView& dst, const RasterTransform& m, int originX,
                           int originY, const CRasterSurface& src, int w, int h, RasterPixel key,
                           RasterCopyMode mode = RasterCopyMode::Keyed,
                           const RasterBounds* clip = nullptr, RasterBounds* written = nullptr,
                           const RasterBounds* sourcePart = nullptr,
                           const RasterCover* cover = nullptr, const RasterRing* ring = nullptr);

// The smallest rectangle holding every pixel of surface that is not key.
RasterBounds RasterOpaqueBounds(const CRasterSurface& surface, RasterPixel key);

// Sets the pixels inside bounds (clipped) to colour.
void RasterFillRect(CRasterSurface& dst, const RasterBounds& rect, RasterPixel colour);
