// Windows bitmap files (.bmp) into 32-bit top-down surfaces.
//
// Our own reader on every platform, Windows included: the same file gives the
// same pixels on every build (the golden images depend on it), and a file that
// lies about itself is refused by code we can test rather than handed to the
// system's loader. Read: the 12-byte core header and the 40/52/56/108/124-byte
// info headers; 1, 4 and 8 bits with a palette, RLE8 and RLE4; 16 and 32 bits
// plain or with bit fields; 24 bits; bottom-up and (uncompressed) top-down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "plugins/aviaro/gauge/raster.h"

// Largest side and pixel count accepted: far beyond any gauge bitmap, and
// small enough that the surface's size cannot overflow.
constexpr int kBmpMaxSide = 16384;
constexpr std::int64_t kBmpMaxPixels = 16 * 1024 * 1024;

// False (out left empty) when the bytes are not a bitmap this reader takes:
// a size that is zero, INT_MIN, too large or overflows, a palette, pixel
// array or bit-field table that reaches past the end of the data, an RLE run
// or delta past its row or the image, or data that ends before the image.
// Pixels an RLE image leaves unwritten are black.
bool DecodeBmp(const std::uint8_t* data, std::size_t size, CRasterSurface& out);

// Reads a .bmp file by path. Backslashes in the path are folder separators
// on every platform.
bool LoadBmpFile(const std::wstring& path, CRasterSurface& out);
