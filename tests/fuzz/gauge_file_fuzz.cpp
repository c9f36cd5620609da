// Feeds arbitrary bytes to the gauge loader as a gauge file beside a few
// bitmaps, then draws two frames (the second reuses what the first left).
// Nothing may crash or trip a sanitizer, and without buttons nothing is drawn
// left of the gauge's origin.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plugins/aviaro/gauge/gauge_renderer.h"

namespace {

namespace fs = std::filesystem;
const fs::path g_folder = fs::temp_directory_path() / ("aviaro-gauge-fuzz-" + std::to_string(getpid()));

// A 24-bit bottom-up w × h .bmp, pixel (x, y) of colour(x, y).
void WriteBmp(const std::string& name, int w, int h, std::uint32_t (*colour)(int x, int y)) {
    const int stride = (w * 3 + 3) & ~3;
    std::vector<std::uint8_t> b(54 + std::size_t(stride) * h, 0);
    const std::uint32_t fields[][2] = {{2, std::uint32_t(b.size())}, {10, 54}, {14, 40}, {18, std::uint32_t(w)},
                                       {22, std::uint32_t(h)}, {26, 1 | 24 << 16}};
    for (const auto& [at, v] : fields) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    }
    b[0] = 'B', b[1] = 'M';
    for (int i = 0; i < w * h; ++i) {
        const std::uint32_t c = colour(i % w, i / w);
        std::uint8_t* p = b.data() + 54 + std::size_t(h - 1 - i / w) * stride + 3 * (i % w);
        p[0] = std::uint8_t(c), p[1] = std::uint8_t(c >> 8), p[2] = std::uint8_t(c >> 16);
    }
    for (const fs::path& dir : {g_folder, g_folder / "1024"}) {  // both vocabularies' image folders
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
}

void RemoveFolder() {
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fs::create_directories(g_folder / "1024");
    std::atexit(RemoveFolder);
    // A background with an RGB(1,1,1) window and a black row, a needle, a tape.
    WriteBmp("b.bmp", 40, 30, [](int x, int y) -> std::uint32_t {
        return x >= 10 && x < 30 && y >= 10 && y < 20 ? 0x010101 : (y == 28 ? 0 : 0x506070);
    });
    WriteBmp("n.bmp", 12, 3, [](int x, int) -> std::uint32_t { return x == 0 ? 0 : 0xE02020; });
    WriteBmp("t.bmp", 60, 6, [](int x, int y) -> std::uint32_t { return std::uint32_t(x * 4 << 16 | y * 40); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path path = g_folder / "gauge.xml";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    const std::uint32_t pageId = 3;
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId);
    renderer.LoadFromFile(variables, path.wstring());
    variables.Set(L'L', L"A", L"", 7.0f);
    std::vector<std::uint8_t> frame(320 * 240 * 3, 0x5A);
    const int left = int(std::clamp<long long>(320LL - renderer.DrawWidth(), 0, 320));
    for (int pass = 0; pass < 2; ++pass) {
        renderer.Render(RasterView{frame.data(), 320, 240, 320 * 3, 3});
        for (int i = 0; i < 240 * left * 3; ++i) {
            if (frame[std::size_t(i / (left * 3)) * 960 + i % (left * 3)] != 0x5A) std::abort();
        }
    }
    return 0;
}
