// A frame of the built-in test gauge ("Render") against one copy of the
// 230,400-byte frame ("Copy"), measured in one run; and the heap allocations a
// frame makes once the first frame is drawn.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "plugins/aviaro/gauge/gauge_renderer.h"

namespace {
std::atomic<long> g_allocations{0};
constexpr std::size_t kFrameBytes = 320 * 240 * 3;
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

static void RenderTestGauge(benchmark::State& state) {
    const std::uint32_t pageId = 1;
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId);
    renderer.LoadDebugGauge(variables, L"" AV_TEST_GAUGE_BITMAPS);
    if (!renderer.Background().IsLoaded()) state.SkipWithError("the test gauge's bitmaps are missing");
    renderer.AddButton(1, L"NAV 1", L"", 400, 0xFFFFFF);
    variables.Set(L'A', L"Airspeed select indicated or true", L"knots", 120.0f);
    std::vector<std::uint8_t> frame(kFrameBytes, 0);
    const RasterView view{frame.data(), 320, 240, 320 * 3, 3};
    renderer.Render(view);  // the first frame sizes what later frames reuse
    const long before = g_allocations.load();
    for (auto _ : state) {
        renderer.Render(view);
        benchmark::ClobberMemory();
    }
    state.counters["allocations_per_frame"] = double(g_allocations.load() - before) / double(state.iterations());
}
BENCHMARK(RenderTestGauge);

static void CopyFrame(benchmark::State& state) {
    std::vector<std::uint8_t> from(kFrameBytes, 0x5A), to(kFrameBytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kFrameBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFrameBytes));
}
BENCHMARK(CopyFrame);

BENCHMARK_MAIN();
