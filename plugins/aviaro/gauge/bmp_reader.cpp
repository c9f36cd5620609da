#include "plugins/aviaro/gauge/bmp_reader.h"

#include <climits>
#include <cstring>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"

namespace {

std::uint32_t U16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t S32(const std::uint8_t* p) {
    const std::uint32_t u = U32(p);
    std::int32_t s;
    std::memcpy(&s, &u, 4);
    return s;
}

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0) return;
        while (((m >> shift) & 1u) == 0) ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1u) != 0) ++bits;
    }
    std::uint32_t Get(std::uint32_t value) const {
        if (bits == 0) return 0;
        const std::uint32_t v = (value & mask) >> shift;
        const std::uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
        // Masks with holes keep only their lowest run; v may exceed it then.
        const std::uint64_t scaled = (static_cast<std::uint64_t>(v > max ? max : v) * 255u + max / 2) / max;
        return static_cast<std::uint32_t>(scaled);
    }
};

struct Header {
    int width = 0;
    int height = 0;  // rows, always positive
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = 0;
    std::size_t paletteOffset = 0;
    std::size_t paletteEntrySize = 4;
    std::uint32_t paletteEntries = 0;
    std::uint32_t masks[3] = {0, 0, 0};
    std::size_t pixelOffset = 0;
};

constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;

bool ReadHeader(const std::uint8_t* data, std::size_t size, Header& h) {
    if (size < 18 || data[0] != 'B' || data[1] != 'M') return false;
    h.pixelOffset = U32(data + 10);
    const std::uint32_t headerSize = U32(data + 14);
    if (headerSize > size - 14) return false;
    const std::uint8_t* ih = data + 14;
    std::int64_t width, height;
    if (headerSize == 12) {  // the core header: 16-bit sizes, 3-byte palette entries
        width = U16(ih + 4);
        height = U16(ih + 6);
        if (U16(ih + 8) != 1) return false;
        h.bitCount = static_cast<int>(U16(ih + 10));
        h.compression = kBiRgb;
        h.paletteEntrySize = 3;
        h.paletteEntries = 0;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
               headerSize == 124) {
        width = S32(ih + 4);
        height = S32(ih + 8);
        if (U16(ih + 12) != 1) return false;
        h.bitCount = static_cast<int>(U16(ih + 14));
        h.compression = U32(ih + 16);
        h.paletteEntries = U32(ih + 32);
    } else {
        return false;
    }
    // INT_MIN has no positive counterpart: refuse it before taking |height|.
    if (height == INT_MIN || width <= 0 || height == 0) return false;
    h.topDown = height < 0;
    if (h.topDown) height = -height;
    if (width > kBmpMaxSide || height > kBmpMaxSide || width * height > kBmpMaxPixels) return false;
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);

    std::size_t tableOffset = 14 + headerSize;
    switch (h.compression) {
        case kBiRgb:
            if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16 &&
                h.bitCount != 24 && h.bitCount != 32) {
                return false;
            }
            if (h.bitCount == 16) h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
            if (h.bitCount >= 24) h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
            break;
        case kBiRle8:
        case kBiRle4:
            if (h.bitCount != (h.compression == kBiRle8 ? 8 : 4) || h.topDown) return false;
            break;
        case kBiBitfields:
            if (h.bitCount != 16 && h.bitCount != 32) return false;
            if (headerSize == 40) {  // the masks follow the header
                if (size - tableOffset < 12) return false;
                for (int i = 0; i < 3; ++i) h.masks[i] = U32(data + tableOffset + 4 * i);
                tableOffset += 12;
            } else {
                for (int i = 0; i < 3; ++i) h.masks[i] = U32(ih + 40 + 4 * i);
            }
            break;
        default:
            return false;
    }
    if (h.bitCount <= 8) {
        const std::uint32_t most = 1u << h.bitCount;
        if (h.paletteEntries == 0) h.paletteEntries = most;
        if (h.paletteEntries > most) return false;
        h.paletteOffset = tableOffset;
        if (h.paletteEntries * h.paletteEntrySize > size - tableOffset) return false;
    }
    return h.pixelOffset <= size;
}

struct Palette {
    RasterPixel colours[256] = {};
    std::uint32_t count = 0;
    RasterPixel At(std::uint32_t index) const { return index < count ? colours[index] : 0u; }
};

bool DecodeRle(const Header& h, const Palette& palette, const std::uint8_t* p, std::size_t n,
               CRasterSurface& out) {
    const bool four = h.compression == kBiRle4;
    std::size_t i = 0;
    int x = 0, row = 0;  // row counts from the bottom
    auto put = [&](std::uint32_t index) {
        out.Set(x, h.height - 1 - row, palette.At(index));
        ++x;
    };
    while (true) {
        if (n - i < 2) return false;  // ended without an end-of-bitmap
        const std::uint32_t count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {  // a run of count pixels
            if (row >= h.height || count > static_cast<std::uint32_t>(h.width - x)) return false;
            for (std::uint32_t k = 0; k < count; ++k) {
                put(four ? ((k & 1) == 0 ? value >> 4 : value & 15) : value);
            }
        } else if (value == 0) {  // end of line
            x = 0;
            ++row;
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // delta
            if (n - i < 2) return false;
            const int ddx = p[i], ddy = p[i + 1];
            i += 2;
            if (ddx > h.width - x || ddy > h.height - row) return false;
            x += ddx;
            row += ddy;
        } else {  // value literal pixels, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            const std::size_t padded = bytes + (bytes & 1);
            if (row >= h.height || value > static_cast<std::uint32_t>(h.width - x) || padded > n - i) {
                return false;
            }
            for (std::uint32_t k = 0; k < value; ++k) {
                const std::uint8_t b = p[i + (four ? k / 2 : k)];
                put(four ? ((k & 1) == 0 ? b >> 4 : b & 15) : b);
            }
            i += padded;
        }
    }
}

}  // namespace

bool DecodeBmp(const std::uint8_t* data, std::size_t size, CRasterSurface& out) {
    out.Resize(0, 0);
    Header h;
    if (data == nullptr || !ReadHeader(data, size, h)) return false;

    Palette palette;
    if (h.bitCount <= 8) {
        palette.count = h.paletteEntries;
        for (std::uint32_t k = 0; k < palette.count; ++k) {
            const std::uint8_t* e = data + h.paletteOffset + k * h.paletteEntrySize;
            palette.colours[k] = (static_cast<RasterPixel>(e[2]) << 16) | (e[1] << 8) | e[0];
        }
    }
    const std::uint8_t* pixels = data + h.pixelOffset;
    const std::size_t available = size - h.pixelOffset;

    CRasterSurface image(h.width, h.height);
    if (h.compression == kBiRle8 || h.compression == kBiRle4) {
        if (!DecodeRle(h, palette, pixels, available, image)) return false;
        out = std::move(image);
        return true;
    }

    const std::uint64_t stride = ((static_cast<std::uint64_t>(h.width) * h.bitCount + 31) / 32) * 4;
    if (stride * static_cast<std::uint64_t>(h.height) > available) return false;
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    for (int row = 0; row < h.height; ++row) {
        const std::uint8_t* in = pixels + stride * row;
        const int y = h.topDown ? row : h.height - 1 - row;
        RasterPixel* line = image.Pixels() + static_cast<std::size_t>(y) * h.width;
        for (int x = 0; x < h.width; ++x) {
            RasterPixel p = 0;
            switch (h.bitCount) {
                case 1: p = palette.At((in[x >> 3] >> (7 - (x & 7))) & 1u); break;
                case 4: p = palette.At((x & 1) == 0 ? in[x >> 1] >> 4 : in[x >> 1] & 15u); break;
                case 8: p = palette.At(in[x]); break;
                case 16: {
                    const std::uint32_t v = U16(in + 2 * x);
                    p = (red.Get(v) << 16) | (green.Get(v) << 8) | blue.Get(v);
                    break;
                }
                case 24: p = (static_cast<RasterPixel>(in[3 * x + 2]) << 16) | (in[3 * x + 1] << 8) | in[3 * x]; break;
                default: {
                    const std::uint32_t v = U32(in + 4 * x);
                    p = (red.Get(v) << 16) | (green.Get(v) << 8) | blue.Get(v);
                    break;
                }
            }
            line[x] = p;
        }
    }
    out = std::move(image);
    return true;
}

bool LoadBmpFile(const std::wstring& path, CRasterSurface& out) {
    std::string bytes;
    if (!av::platform::ReadFileBytes(av::platform::LocalPath(path), bytes)) {
        out.Resize(0, 0);
        return false;
    }
    return DecodeBmp(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), out);
}
