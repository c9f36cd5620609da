// A frame of the built-in test gauge ("Render") against one copy of the
// 230,400-byte frame ("Copy"), measured in one run; and the heap allocations a
// frame makes once the first frame is drawn.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <tuple>
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

// Each sample gauge at a state that turns and moves every element; each must
// stay within the test gauge's time and allocate nothing per frame.
static void RenderSampleGauge(benchmark::State& state, const wchar_t* gauge,
                              std::vector<std::tuple<const wchar_t*, const wchar_t*, float>> values) {
    const std::uint32_t pageId = 1;
    CGaugeVariables variables;
    CGaugeRenderer renderer(&pageId);
    if (!renderer.LoadFromFile(variables, std::wstring(L"" AV_SAMPLE_GAUGES "/") + gauge + L"/gauge.xml")) {
        state.SkipWithError("the sample gauge did not load");
    }
    renderer.AddButton(1, L"HDG", L"", 700, 0xFFFFFF);
    for (const auto& [name, unit, value] : values) variables.Set(L'A', name, unit, value);
    std::vector<std::uint8_t> frame(kFrameBytes, 0);
    const RasterView view{frame.data(), 320, 240, 320 * 3, 3};
    renderer.Render(view);
    const long before = g_allocations.load();
    for (auto _ : state) {
        renderer.Render(view);
        benchmark::ClobberMemory();
    }
    state.counters["allocations_per_frame"] = double(g_allocations.load() - before) / double(state.iterations());
}
BENCHMARK_CAPTURE(RenderSampleGauge, Airspeed, L"AirspeedIndicator",
                  {{L"Airspeed indicated", L"knots", 120.0f}, {L"Flaps handle index", L"number", 1.0f}});
BENCHMARK_CAPTURE(RenderSampleGauge, Attitude, L"AttitudeIndicator",
                  {{L"Attitude indicator pitch degrees", L"radians", -0.17f},
                   {L"Attitude indicator bank degrees", L"radians", -0.52f}});
BENCHMARK_CAPTURE(RenderSampleGauge, Altimeter, L"Altimeter",
                  {{L"Indicated altitude", L"feet", 12345.0f}, {L"Kohlsman setting hg", L"inHg", 29.92f}});
BENCHMARK_CAPTURE(RenderSampleGauge, TurnCoordinator, L"TurnCoordinator",
                  {{L"Turn indicator rate", L"radians per second", 0.05f},
                   {L"Turn coordinator ball", L"position 128", 40.0f}});
BENCHMARK_CAPTURE(RenderSampleGauge, Heading, L"HeadingIndicator",
                  {{L"Heading indicator", L"degrees", 90.0f}, {L"Autopilot heading lock dir", L"degrees", 135.0f}});
BENCHMARK_CAPTURE(RenderSampleGauge, VerticalSpeed, L"VerticalSpeed", {{L"Vertical speed", L"feet per minute", 700.0f}});
BENCHMARK_CAPTURE(RenderSampleGauge, Tachometer, L"Tachometer", {{L"General eng rpm:1", L"rpm", 2400.0f}});
BENCHMARK_CAPTURE(RenderSampleGauge, FuelOil, L"FuelOil",
                  {{L"Fuel left quantity", L"gallons", 20.0f}, {L"General eng oil pressure:1", L"psf", 10800.0f}});

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
