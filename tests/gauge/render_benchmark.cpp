// Drawing the built-in test gauge into a 320 × 240 frame ("Render") against
// one copy of that 230,400-byte frame ("Copy"), in one run so that their
// ratio is measured on the same machine; and the heap allocations a frame
// makes once the first frame is drawn (counted, reported as a counter).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "plugins/aviaro/gauge/gauge_renderer.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// The replaced operators pair malloc with free; GCC cannot see that they match.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr std::size_t kFrameBytes = 320 * 240 * 3;

void RenderTestGauge(benchmark::State& state) {
    const std::uint32_t pageId = 1;
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId);
    renderer.LoadDebugGauge(variables, L"" AV_TEST_GAUGE_BITMAPS);
    renderer.AddButton(1, L"NAV 1", L"", 400, 0xFFFFFF);
    renderer.AddButton(4, L"COM 2", L"", 700, 0x40D0FF);
    if (!renderer.Background().IsLoaded()) state.SkipWithError("the test gauge's bitmaps are missing");
    variables.Set(L'A', L"Airspeed select indicated or true", L"knots", 120.0f);
    for (int i = 0; i < 10; ++i) renderer.OnKnob(0, false, pageId, variables);
    std::vector<std::uint8_t> frame(kFrameBytes, 0);
    const RasterView view{frame.data(), 320, 240, 320 * 3, 3};
    renderer.Render(view);  // the first frame sizes what later frames reuse
    const long before = g_allocations.load();
    long frames = 0;
    for (auto _ : state) {
        renderer.Render(view);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
        ++frames;
    }
    state.counters["allocations_per_frame"] =
        frames > 0 ? double(g_allocations.load() - before) / double(frames) : 0.0;
}
BENCHMARK(RenderTestGauge);

void CopyFrame(benchmark::State& state) {
    std::vector<std::uint8_t> from(kFrameBytes, 0x5A), to(kFrameBytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kFrameBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFrameBytes));
}
BENCHMARK(CopyFrame);

}  // namespace

BENCHMARK_MAIN();
