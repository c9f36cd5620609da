#include "tests/gauge/gauge_test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/paths.h"
#include "tools/lumiray_standin/png_writer.h"

namespace gaugetest {

std::vector<std::uint8_t> Bmp24(int width, int height, const std::vector<RasterPixel>& pixels) {
    const std::uint32_t stride = (std::uint32_t(width) * 3 + 3) & ~3u;
    std::vector<std::uint8_t> out(54 + std::size_t(stride) * height, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = std::uint8_t(v >> (8 * i));
    };
    out[0] = 'B', out[1] = 'M';
    put32(2, std::uint32_t(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(height));
    out[26] = 1, out[28] = 24;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = out.data() + 54 + std::size_t(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const RasterPixel p = pixels[std::size_t(y) * width + x];
            row[3 * x] = std::uint8_t(p), row[3 * x + 1] = std::uint8_t(p >> 8);
            row[3 * x + 2] = std::uint8_t(p >> 16);
        }
    }
    return out;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

ScratchFolder::ScratchFolder() {
    path_ = std::filesystem::temp_directory_path() /
            ("gauge_test_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path_ / "1024");
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path Here() { return std::filesystem::path(av::platform::GetExecutableFolder()); }

Frame::Frame(RasterPixel fill) : bytes(320 * 240 * 3) {
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        bytes[i] = std::uint8_t(fill), bytes[i + 1] = std::uint8_t(fill >> 8);
        bytes[i + 2] = std::uint8_t(fill >> 16);
    }
    view = RasterView{bytes.data(), 320, 240, 320 * 3, 3};
}

RasterPixel Frame::At(int x, int y) const {
    const std::uint8_t* p = bytes.data() + (std::size_t(y) * 320 + x) * 3;
    return (RasterPixel(p[2]) << 16) | (p[1] << 8) | p[0];
}

Picture Crop(const Frame& frame, int left) {
    Picture p;
    p.width = 320 - left;
    p.height = 240;
    for (int y = 0; y < 240; ++y) {
        for (int x = left; x < 320; ++x) {
            const RasterPixel c = frame.At(x, y);
            p.rgb.push_back(std::uint8_t(c >> 16));
            p.rgb.push_back(std::uint8_t(c >> 8));
            p.rgb.push_back(std::uint8_t(c));
        }
    }
    return p;
}

std::vector<std::uint8_t> EncodePng(const Picture& picture) {
    return standin::EncodePng(std::uint32_t(picture.width), std::uint32_t(picture.height), picture.rgb);
}

std::string CompareGolden(const std::string& name, const Picture& picture) {
#if defined(AV_GOLDEN_SOURCE)
    if (std::getenv("AV_UPDATE_GOLDEN") != nullptr) {
        WriteBytes(std::filesystem::path(AV_GOLDEN_SOURCE) / (name + ".png"), EncodePng(picture));
        return "";
    }
#endif
    // The goldens are what EncodePng wrote, which is deterministic: equal
    // pixels give equal bytes.
    std::ifstream in(Here() / "golden" / (name + ".png"), std::ios::binary);
    const std::vector<std::uint8_t> golden{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::vector<std::uint8_t> png = EncodePng(picture);
    if (png == golden) return "";
    // Kept for a look: the frame as drawn, beside the test binary.
    WriteBytes(Here() / (name + ".actual.png"), png);
    return "golden/" + name + ".png differs or is missing; see " + name + ".actual.png";
}

}  // namespace gaugetest
