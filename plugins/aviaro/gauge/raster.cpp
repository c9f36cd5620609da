#include "plugins/aviaro/gauge/raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

template <int kBytes>
inline void PutPixel(std::uint8_t* row, int x, RasterPixel p) {
    if constexpr (kBytes == 4) {
        std::memcpy(row + x * 4, &p, 4);
    } else {
        std::uint8_t* q = row + x * 3;
        q[0] = static_cast<std::uint8_t>(p);
        q[1] = static_cast<std::uint8_t>(p >> 8);
        q[2] = static_cast<std::uint8_t>(p >> 16);
    }
}

inline void WritePixel(std::uint8_t* p, int bytesPerPixel, RasterPixel value) {
    if (bytesPerPixel == 4) {
        PutPixel<4>(p, 0, value);
    } else {
        PutPixel<3>(p, 0, value);
    }
}

// Pixels in[0, n) to row from column x on. A 3-byte row takes each pixel
// but the last as one 4-byte store whose fourth byte, the next pixel's blue,
// the next store writes again.
template <int kBytes>
inline void PutRun(std::uint8_t* row, int x, const RasterPixel* in, int n) {
    if (n <= 0) return;
    if constexpr (kBytes == 4) {
        std::memcpy(row + x * 4, in, static_cast<std::size_t>(n) * 4);
    } else {
        std::uint8_t* q = row + x * 3;
        for (int i = 0; i + 1 < n; ++i) std::memcpy(q + i * 3, in + i, 4);
        PutPixel<3>(q, n - 1, in[n - 1]);
    }
}

// floor and ceil of e held to [lo, hi] (whole numbers within ±2^31; not a
// number gives lo), by integer conversion: the library's calls cost more
// than a row of pixels' set-up should.
inline double FloorWithin(double e, double lo, double hi) {
    e = e > hi ? hi : (e > lo ? e : lo);
    const double t = static_cast<double>(static_cast<long long>(e));
    return t > e ? t - 1.0 : t;
}
inline double CeilWithin(double e, double lo, double hi) {
    e = e > hi ? hi : (e > lo ? e : lo);
    const double t = static_cast<double>(static_cast<long long>(e));
    return t < e ? t + 1.0 : t;
}

bool ValidView(const RasterView& v) {
    return v.bits != nullptr && v.width > 0 && v.height > 0 &&
           (v.bytesPerPixel == 3 || v.bytesPerPixel == 4);
}

}  // namespace

void CRasterSurface::Resize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    if (width_ == 0 || height_ == 0) width_ = height_ = 0;
    pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0u);
}

void CRasterSurface::Fill(RasterPixel colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

RasterView CRasterSurface::View() {
    RasterView v;
    v.bits = reinterpret_cast<std::uint8_t*>(pixels_.data());
    v.width = width_;
    v.height = height_;
    v.stride = static_cast<std::ptrdiff_t>(width_) * 4;
    v.bytesPerPixel = 4;
    return v;
}

void CRasterRuns::Build(const CRasterSurface& surface, RasterPixel key) {
    width_ = surface.Width();
    height_ = surface.Height();
    key_ = key;
    rowStart_.assign(static_cast<std::size_t>(height_) + 1, 0);
    runs_.clear();
    for (int y = 0; y < height_; ++y) {
        const RasterPixel* row = surface.Pixels() + static_cast<std::size_t>(y) * width_;
        for (int x = 0; x < width_;) {
            if (((row[x] ^ key) & kRasterRgbMask) == 0) {
                ++x;
                continue;
            }
            Run run{x, x, false};
            for (; x < width_ && ((row[x] ^ key) & kRasterRgbMask) != 0; ++x) {
                run.hasBlack = run.hasBlack || (row[x] & kRasterRgbMask) == 0;
            }
            run.x1 = x;
            runs_.push_back(run);
        }
        rowStart_[static_cast<std::size_t>(y) + 1] = static_cast<std::uint32_t>(runs_.size());
    }
}

RasterBounds RasterOpaqueBounds(const CRasterSurface& surface, RasterPixel key) {
    RasterBounds b;
    for (int y = 0; y < surface.Height(); ++y) {
        for (int x = 0; x < surface.Width(); ++x) {
            if (((surface.At(x, y) ^ key) & kRasterRgbMask) != 0) b.Add(x, y, x + 1, y + 1);
        }
    }
    return b;
}

void RasterBounds::Add(int l, int t, int r, int b) {
    if (r <= l || b <= t) return;
    if (IsEmpty()) {
        left = l, top = t, right = r, bottom = b;
        return;
    }
    left = std::min(left, l);
    top = std::min(top, t);
    right = std::max(right, r);
    bottom = std::max(bottom, b);
}

void RasterTransform::Translate(float x, float y) {
    dx = dx + x;
    dy = dy + y;
}

void RasterTransform::Rotate(float degrees) {
    double s, c;
    RasterSinCosDegrees(static_cast<double>(degrees), s, c);
    const float cf = static_cast<float>(c), sf = static_cast<float>(s);
    // [m11 m12; m21 m22; dx dy] × [cos −sin; sin cos]
    const float n11 = m11 * cf + m12 * sf, n12 = -(m11 * sf) + m12 * cf;
    const float n21 = m21 * cf + m22 * sf, n22 = -(m21 * sf) + m22 * cf;
    const float ndx = dx * cf + dy * sf, ndy = -(dx * sf) + dy * cf;
    m11 = n11, m12 = n12, m21 = n21, m22 = n22, dx = ndx, dy = ndy;
}

void RasterSinCosDegrees(double degrees, double& sine, double& cosine) {
    if (!std::isfinite(degrees)) {
        sine = cosine = std::nan("");
        return;
    }
    // Quarter turns are taken off exactly in degrees, the rest by a series
    // that needs nothing but +, − and × (the same bits everywhere).
    double quarters = std::floor(degrees / 90.0 + 0.5);
    const double rest = degrees - quarters * 90.0;
    const double x = rest * kGaugePi / 180.0;  // |x| ≤ about π/4
    const double x2 = x * x;
    double s = 0.0, c = 0.0, term = x;
    for (int n = 1; n <= 19; n += 2) {  // x − x³/3! + … through x^19
        s += term;
        term = -term * x2 / ((n + 1) * (n + 2));
    }
    term = 1.0;
    for (int n = 0; n <= 18; n += 2) {  // 1 − x²/2! + … through x^18
        c += term;
        term = -term * x2 / ((n + 1) * (n + 2));
    }
    double q = std::fmod(quarters, 4.0);
    if (q < 0) q += 4.0;
    switch (static_cast<int>(q)) {
        case 0: sine = s, cosine = c; break;
        case 1: sine = c, cosine = -s; break;
        case 2: sine = -s, cosine = -c; break;
        default: sine = -c, cosine = s; break;
    }
}

namespace {

// The destination rectangle allowed: the surface, narrowed by clip.
RasterBounds ClipFor(int width, int height, const RasterBounds* clip) {
    RasterBounds r{0, 0, width, height};
    if (clip != nullptr) {
        r.left = std::max(r.left, clip->left);
        r.top = std::max(r.top, clip->top);
        r.right = std::min(r.right, clip->right);
        r.bottom = std::min(r.bottom, clip->bottom);
    }
    return r;
}

// Calls fn(a, b) for each part [a, b) of columns [from, to) of row y that
// cover leaves free, left to right.
template <typename Fn>
inline void ForEachUncovered(const RasterCover* cover, int y, int from, int to, Fn&& fn) {
    if (from >= to) return;
    const long long row = cover != nullptr && cover->runs != nullptr ? static_cast<long long>(y) - cover->y : -1;
    if (row < 0 || row >= cover->runs->Rows()) {
        fn(from, to);
        return;
    }
    const int r = static_cast<int>(row);
    long long cur = from;
    for (const CRasterRuns::Run* run = cover->runs->RowBegin(r); run != cover->runs->RowEnd(r); ++run) {
        const long long a = static_cast<long long>(run->x0) + cover->x;
        const long long b = static_cast<long long>(run->x1) + cover->x;
        if (b <= cur) continue;
        if (a >= to) break;
        if (a > cur) fn(static_cast<int>(cur), static_cast<int>(a));
        cur = b;
        if (cur >= to) return;
    }
    fn(static_cast<int>(cur), to);
}

// The steps k in [from, to) of a run of n pixels whose coordinate
// c0 + k·dc lies in [0, limit). c0 + n·dc must not overflow.
struct StepSpan {
    int from = 0, to = 0;
    bool empty() const { return to <= from; }
    StepSpan Intersect(const StepSpan& o) const { return {std::max(from, o.from), std::min(to, o.to)}; }
};

std::uint64_t CeilDiv(std::uint64_t x, std::uint64_t step) { return x / step + (x % step != 0 ? 1 : 0); }

StepSpan InsideSteps(std::int64_t c0, std::int64_t dc, std::uint64_t limit, int n) {
    // Every quotient is taken in unsigned arithmetic on differences that are
    // non-negative and below 2^64, then held to [0, n].
    const std::uint64_t un = static_cast<std::uint64_t>(std::max(n, 0));
    auto clampSteps = [un](std::uint64_t k) { return static_cast<int>(std::min(k, un)); };
    const std::uint64_t c = static_cast<std::uint64_t>(c0);
    const bool below = c0 < 0, beyond = !below && c >= limit;
    if (dc == 0) return below || beyond ? StepSpan{} : StepSpan{0, clampSteps(un)};
    if (dc > 0) {
        const std::uint64_t step = static_cast<std::uint64_t>(dc);
        if (beyond) return {};
        // First k reaching 0, first k reaching limit: ceil((target − c0) / step).
        const std::uint64_t first = below ? CeilDiv(0 - c, step) : 0;
        const std::uint64_t past = CeilDiv(limit - c, step);
        return {clampSteps(first), clampSteps(past)};
    }
    const std::uint64_t step = 0 - static_cast<std::uint64_t>(dc);
    if (below) return {};
    // Below limit once k·step > c0 − limit; still ≥ 0 while k·step ≤ c0.
    const std::uint64_t first = beyond ? (c - limit) / step + 1 : 0;
    const std::uint64_t past = c / step + 1;
    return {clampSteps(first), clampSteps(past)};
}

}  // namespace

void RasterCopy(const RasterView& dst, int dx, int dy, const CRasterSurface& src, int sx, int sy,
                int w, int h, RasterPixel key, RasterCopyMode mode, const RasterBounds* clip,
                RasterBounds* written, const CRasterRuns* runs, const RasterCover* cover) {
    if (runs != nullptr && !runs->IsBuiltFor(src, key)) runs = nullptr;
    if (!ValidView(dst) || src.IsEmpty() || w <= 0 || h <= 0) return;
    const RasterBounds c = ClipFor(dst.width, dst.height, clip);
    if (c.IsEmpty()) return;
    long long x = dx, y = dy, u = sx, v = sy, cw = w, ch = h;
    // Clip to the source, then to the destination, moving both sides together.
    if (u < 0) x -= u, cw += u, u = 0;
    if (v < 0) y -= v, ch += v, v = 0;
    cw = std::min(cw, src.Width() - u);
    ch = std::min(ch, src.Height() - v);
    if (x < c.left) u += c.left - x, cw -= c.left - x, x = c.left;
    if (y < c.top) v += c.top - y, ch -= c.top - y, y = c.top;
    cw = std::min(cw, c.right - x);
    ch = std::min(ch, c.bottom - y);
    if (cw <= 0 || ch <= 0) return;
    const int X = static_cast<int>(x), Y = static_cast<int>(y);
    const int U = static_cast<int>(u), V = static_cast<int>(v);
    const int W = static_cast<int>(cw), H = static_cast<int>(ch);
    if (written != nullptr) written->Add(X, Y, X + W, Y + H);
    const int bpp = dst.bytesPerPixel;
    const bool notBlack = mode == RasterCopyMode::KeyedNotBlack;
    auto keep = [key, notBlack](RasterPixel p) {
        return ((p ^ key) & kRasterRgbMask) != 0 && (!notBlack || (p & kRasterRgbMask) != 0);
    };
    for (int row = 0; row < H; ++row) {
        std::uint8_t* out = dst.bits + (Y + row) * dst.stride + static_cast<std::ptrdiff_t>(X) * bpp;
        const RasterPixel* in = src.Pixels() + static_cast<std::size_t>(V + row) * src.Width() + U;
        // Columns [from, to) of the rectangle.
        auto copyColumns = [&](int from, int to) {
            if (mode == RasterCopyMode::FillBlack) {
                for (int col = from; col < to; ++col) WritePixel(out + col * bpp, bpp, 0u);
                return;
            }
            if (runs != nullptr) {
                // Only the runs' pixels, none of them the key.
                for (const CRasterRuns::Run* r = runs->RowBegin(V + row); r != runs->RowEnd(V + row); ++r) {
                    const int a = std::max(r->x0 - U, from), b = std::min(r->x1 - U, to);
                    if (a >= b) continue;
                    if (notBlack && r->hasBlack) {
                        for (int col = a; col < b; ++col) {
                            if ((in[col] & kRasterRgbMask) != 0) WritePixel(out + col * bpp, bpp, in[col]);
                        }
                    } else if (bpp == 4) {
                        PutRun<4>(out, a, in + a, b - a);
                    } else {
                        PutRun<3>(out, a, in + a, b - a);
                    }
                }
                return;
            }
            if (bpp == 4) {
                RasterPixel* out32 = reinterpret_cast<RasterPixel*>(out);
                for (int col = from; col < to; ++col) {
                    if (keep(in[col])) out32[col] = in[col];
                }
            } else {
                for (int col = from; col < to; ++col) {
                    if (keep(in[col])) WritePixel(out + col * 3, 3, in[col]);
                }
            }
        };
        ForEachUncovered(cover, Y + row, X, X + W, [&](int a, int b) { copyColumns(a - X, b - X); });
    }
}

namespace {

// One row of a transformed copy: steps [from, to) of the fixed-point
// coordinates (u, v), all inside the source part, to out[from, to).
template <int kBytes>
void TransformedRow(std::uint8_t* out, int from, int to, std::uint64_t u, std::uint64_t v,
                    std::uint64_t du, std::uint64_t dv, const RasterPixel* part, std::size_t stride,
                    RasterPixel key, RasterCopyMode mode) {
    if (mode == RasterCopyMode::FillBlack) {
        std::memset(out + from * kBytes, 0, static_cast<std::size_t>(to - from) * kBytes);
        return;
    }
    if (mode == RasterCopyMode::KeyedNotBlack) {
        for (int k = from; k < to; ++k, u += du, v += dv) {
            const RasterPixel p = part[static_cast<std::size_t>(v >> 32) * stride + static_cast<std::size_t>(u >> 32)];
            if (((p ^ key) & kRasterRgbMask) != 0 && (p & kRasterRgbMask) != 0) PutPixel<kBytes>(out, k, p);
        }
        return;
    }
    auto at = [&](std::uint64_t uu, std::uint64_t vv) {
        return part[static_cast<std::size_t>(vv >> 32) * stride + static_cast<std::size_t>(uu >> 32)];
    };
    if constexpr (kBytes == 3) {
        // A pixel whose right-hand neighbour is drawn too goes as one 4-byte
        // store: the neighbour then writes over the fourth byte.
        if (from >= to) return;
        RasterPixel p = at(u, v);
        bool keep = ((p ^ key) & kRasterRgbMask) != 0;
        for (int k = from; k + 1 < to; ++k) {
            u += du, v += dv;
            const RasterPixel next = at(u, v);
            const bool keepNext = ((next ^ key) & kRasterRgbMask) != 0;
            if (keep) {
                if (keepNext) {
                    std::memcpy(out + k * 3, &p, 4);
                } else {
                    PutPixel<3>(out, k, p);
                }
            }
            p = next, keep = keepNext;
        }
        if (keep) PutPixel<3>(out, to - 1, p);
        return;
    }
    for (int k = from; k < to; ++k, u += du, v += dv) {
        const RasterPixel p = at(u, v);
        if (((p ^ key) & kRasterRgbMask) != 0) PutPixel<kBytes>(out, k, p);
    }
}

}  // namespace

RasterRing RasterRingOf(const CRasterSurface& surface, RasterPixel key, double cx, double cy) {
    double nearest = HUGE_VAL, farthest = 0.0;  // squared
    for (int y = 0; y < surface.Height(); ++y) {
        const RasterPixel* row = surface.Pixels() + static_cast<std::size_t>(y) * surface.Width();
        const double ry = y + 0.5 - cy;
        for (int x = 0; x < surface.Width(); ++x) {
            if (((row[x] ^ key) & kRasterRgbMask) == 0) continue;
            const double rx = x + 0.5 - cx, d = rx * rx + ry * ry;
            nearest = std::min(nearest, d);
            farthest = std::max(farthest, d);
        }
    }
    if (nearest == HUGE_VAL) return RasterRing{cx, cy, 1.0, 0.0};
    return RasterRing{cx, cy, std::sqrt(nearest), std::sqrt(farthest)};
}

namespace {

// The steps [from, to) of a run of n, starting at source point p and moving
// q a step, whose pixels can hold a pixel of ring, as up to two parts: the
// steps whose point is within the outer circle, less those within the inner.
// A point lies in the pixel whose centre is at most √½ away, so each circle
// is widened by a pixel: only steps that certainly land on the key are left
// out, and every drawn pixel is the one the plain walk would draw.
struct RingSteps {
    StepSpan first, second;
};

RingSteps RingStepsOf(const RasterRing& ring, double px, double py, double qx, double qy, int n) {
    constexpr double kSpare = 1.0;
    const double outer = ring.outer + kSpare, inner = ring.inner - kSpare;
    const double ax = px - ring.cx, ay = py - ring.cy;
    const double qq = qx * qx + qy * qy, pq = ax * qx + ay * qy, pp = ax * ax + ay * ay;
    const StepSpan all{0, n};
    if (ring.inner > ring.outer) return {};
    if (qq == 0.0) {  // every step lands on the same point
        return pp > outer * outer || (inner > 0.0 && pp < inner * inner) ? RingSteps{} : RingSteps{all, {}};
    }
    // |a + k·q|² = r²  ⇔  qq·k² + 2·pq·k + pp − r² = 0
    auto roots = [&](double r, double& k1, double& k2) {
        const double disc = pq * pq - qq * (pp - r * r);
        if (!(disc > 0.0)) return false;
        const double s = std::sqrt(disc);
        k1 = (-pq - s) / qq, k2 = (-pq + s) / qq;
        return true;
    };
    const double last = double(n) + 1.0;
    auto floorStep = [last](double k) { return static_cast<int>(FloorWithin(k, -1.0, last)); };
    auto ceilStep = [last](double k) { return static_cast<int>(CeilWithin(k, -1.0, last)); };
    double k1, k2;
    if (!roots(outer, k1, k2)) return {};
    const StepSpan within = all.Intersect({floorStep(k1), ceilStep(k2) + 1});
    double k3, k4;
    if (inner <= 0.0 || !roots(inner, k3, k4)) return {within, {}};
    // Steps strictly between k3 and k4 land inside the inner circle.
    const int holeFrom = floorStep(k3) + 1, holeTo = ceilStep(k4);
    return {within.Intersect({within.from, holeFrom}), within.Intersect({holeTo, within.to})};
}

}  // namespace

void RasterCopyTransformed(const RasterView& dst, const RasterTransform& m, int originX,
                           int originY, const CRasterSurface& src, int w, int h, RasterPixel key,
                           RasterCopyMode mode, const RasterBounds* clip, RasterBounds* written,
                           const RasterBounds* sourcePart, const RasterCover* cover,
                           const RasterRing* ring) {
    if (mode == RasterCopyMode::FillBlack) ring = nullptr;
    w = std::min(w, src.Width());
    h = std::min(h, src.Height());
    // The source pixels that can be drawn: [sl, sr) × [st, sb).
    int sl = 0, st = 0, sr = w, sb = h;
    if (sourcePart != nullptr && mode != RasterCopyMode::FillBlack) {
        sl = std::max(sl, sourcePart->left), st = std::max(st, sourcePart->top);
        sr = std::min(sr, sourcePart->right), sb = std::min(sb, sourcePart->bottom);
    }
    if (!ValidView(dst) || sr <= sl || sb <= st) return;
    const RasterBounds c = ClipFor(dst.width, dst.height, clip);
    if (c.IsEmpty()) return;
    const double m11 = m.m11, m12 = m.m12, m21 = m.m21, m22 = m.m22, tx = m.dx, ty = m.dy;
    const double det = m11 * m22 - m12 * m21;
    if (!std::isfinite(det) || !std::isfinite(tx) || !std::isfinite(ty) || std::fabs(det) < 1e-9) {
        return;
    }
    // Inverse: destination point to source point.
    const double a = m22 / det, b = -m21 / det, cc = -m12 / det, d = m11 / det;
    // The rectangle the source corners span, in the transform's own
    // coordinates, then on dst, clipped.
    double minX = HUGE_VAL, maxX = -HUGE_VAL, minY = HUGE_VAL, maxY = -HUGE_VAL;
    const double cx[2] = {double(sl), double(sr)}, cy[2] = {double(st), double(sb)};
    for (double px : cx) {
        for (double py : cy) {
            minX = std::min(minX, tx + px * m11 + py * m21);
            maxX = std::max(maxX, tx + px * m11 + py * m21);
            minY = std::min(minY, ty + px * m12 + py * m22);
            maxY = std::max(maxY, ty + px * m12 + py * m22);
        }
    }
    const double ox = originX, oy = originY;
    const int x0 = static_cast<int>(std::clamp(std::floor(minX) + ox, double(c.left), double(c.right)));
    const int x1 = static_cast<int>(std::clamp(std::ceil(maxX) + ox, double(c.left), double(c.right)));
    const int y0 = static_cast<int>(std::clamp(std::floor(minY) + oy, double(c.top), double(c.bottom)));
    const int y1 = static_cast<int>(std::clamp(std::ceil(maxY) + oy, double(c.top), double(c.bottom)));
    if (x1 <= x0 || y1 <= y0) return;
    // Degenerate scales (a source pixel smaller than a millionth of a
    // destination pixel) draw nothing rather than overflow the steps below.
    if (std::fabs(a) > 1e6 || std::fabs(cc) > 1e6) return;
    if (written != nullptr) written->Add(x0, y0, x1, y1);
    // Source coordinates step in 32.32 fixed point along a row: integer adds
    // give the same bits on every platform, and a pixel is inside exactly
    // when both coordinates, measured from the part's corner, are in
    // [0, size).
    constexpr double kOne = 4294967296.0;
    const std::int64_t du = std::llround(a * kOne), dv = std::llround(cc * kOne);
    const std::uint64_t uLimit = std::uint64_t(sr - sl) << 32, vLimit = std::uint64_t(sb - st) << 32;
    const std::uint64_t uStep = static_cast<std::uint64_t>(du), vStep = static_cast<std::uint64_t>(dv);
    const std::size_t srcStride = static_cast<std::size_t>(src.Width());
    const RasterPixel* part = src.Pixels() + static_cast<std::size_t>(st) * srcStride + sl;
    // The row loop's divisions, once: a pixel to spare on each side covers
    // their rounding, and the exact span comes from the steps.
    const double inverseA = a != 0.0 ? 1.0 / a : 0.0, inverseC = cc != 0.0 ? 1.0 / cc : 0.0;
    const double shift = tx + originX - 0.5;
    for (int y = y0; y < y1; ++y) {
        const double ry = (static_cast<double>(y - originY) + 0.5) - ty;
        const double uRow = b * ry, vRow = d * ry;
        // The columns where the source coordinates can be inside, found in
        // floating point with a pixel to spare on each side; the fixed-point
        // steps below then find the exact span.
        double lo = x0, hi = x1;
        auto narrow = [&](double k, double inverse, double row, double limit) {
            // k · (x − originX + 0.5 − tx) + row lies in [0, limit)
            if (k == 0.0) {
                if (!(row >= -1.0 && row <= limit + 1.0)) hi = lo;  // (nothing)
                return;
            }
            double e0 = (0.0 - row) * inverse + shift;
            double e1 = (limit - row) * inverse + shift;
            if (e0 > e1) std::swap(e0, e1);
            lo = std::max(lo, FloorWithin(e0, x0 - 2.0, x1 + 2.0) - 1.0);
            hi = std::min(hi, CeilWithin(e1, x0 - 2.0, x1 + 2.0) + 2.0);
        };
        narrow(a, inverseA, uRow - sl, sr - sl);
        narrow(cc, inverseC, vRow - st, sb - st);
        if (!(hi > lo)) continue;
        const int xs = static_cast<int>(lo), xe = static_cast<int>(hi);
        const double rx = (static_cast<double>(xs - originX) + 0.5) - tx;
        const std::int64_t u0 = std::llround((a * rx + uRow - sl) * kOne);
        const std::int64_t v0 = std::llround((cc * rx + vRow - st) * kOne);
        // The steps along [xs, xe) whose pixel is inside, exactly: the same
        // integers the steps reach, so no pixel needs a test of its own.
        const StepSpan span = InsideSteps(u0, du, uLimit, xe - xs)
                                  .Intersect(InsideSteps(v0, dv, vLimit, xe - xs));
        if (span.empty()) continue;
        RingSteps parts{span, {}};
        if (ring != nullptr) {
            parts = RingStepsOf(*ring, sl + u0 / kOne, st + v0 / kOne, du / kOne, dv / kOne, xe - xs);
            parts.first = parts.first.Intersect(span);
            parts.second = parts.second.Intersect(span);
        }
        std::uint8_t* out = dst.bits + y * dst.stride + static_cast<std::ptrdiff_t>(xs) * dst.bytesPerPixel;
        for (const StepSpan& steps : {parts.first, parts.second}) {
            if (steps.empty()) continue;
            ForEachUncovered(cover, y, xs + steps.from, xs + steps.to, [&](int a, int b) {
                const int from = a - xs, to = b - xs;
                // Inside the span both coordinates lie in [0, limit): unsigned from here.
                const std::uint64_t u = static_cast<std::uint64_t>(u0 + from * du);
                const std::uint64_t v = static_cast<std::uint64_t>(v0 + from * dv);
                if (dst.bytesPerPixel == 4) {
                    TransformedRow<4>(out, from, to, u, v, uStep, vStep, part, srcStride, key, mode);
                } else {
                    TransformedRow<3>(out, from, to, u, v, uStep, vStep, part, srcStride, key, mode);
                }
            });
        }
    }
}

void RasterFillRect(CRasterSurface& dst, const RasterBounds& rect, RasterPixel colour) {
    const int l = std::max(rect.left, 0), t = std::max(rect.top, 0);
    const int r = std::min(rect.right, dst.Width()), b = std::min(rect.bottom, dst.Height());
    for (int y = t; y < b; ++y) {
        RasterPixel* row = dst.Pixels() + static_cast<std::size_t>(y) * dst.Width();
        std::fill(row + l, row + std::max(r, l), colour);
    }
}
