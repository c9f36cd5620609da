// Helpers of the gauge engine's tests: bitmaps and gauge files written into a
// scratch folder, frames as PNG files and their comparison with the golden
// images kept beside the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "plugins/aviaro/gauge/raster.h"

namespace gaugetest {

// A 24-bit bottom-up .bmp of the given pixels (0x00RRGGBB, top row first).
std::vector<std::uint8_t> Bmp24(int width, int height, const std::vector<RasterPixel>& pixels);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const std::filesystem::path& path, const std::string& text);

// A folder of its own under the temp folder, removed with the object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::filesystem::path& Path() const { return path_; }
    std::wstring operator/(const std::string& name) const { return (path_ / name).wstring(); }

private:
    std::filesystem::path path_;
};

// The test binary's folder: the goldens and the test gauge's bitmaps are
// copied beside it.
std::filesystem::path Here();

// A 320 × 240 frame of 3-byte pixels, filled with one colour.
struct Frame {
    std::vector<std::uint8_t> bytes;
    RasterView view;
    explicit Frame(RasterPixel fill = 0x203040);
    RasterPixel At(int x, int y) const;
};

// Columns [left, 320) of the frame as RGB bytes, the part a golden holds.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};
Picture Crop(const Frame& frame, int left);
std::vector<std::uint8_t> EncodePng(const Picture& picture);
// Compares the picture with golden/NAME.png beside the test binary; with the
// environment variable AV_UPDATE_GOLDEN set, writes it into the source tree's
// golden folder instead. Returns "" when they match, else what differs.
std::string CompareGolden(const std::string& name, const Picture& picture);

}  // namespace gaugetest
