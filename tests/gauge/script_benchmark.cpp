// Throughput of the script language on the built-in test gauge: one frame
// (each drawing script once) and one knob press each way, as the page runs them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "plugins/aviaro/gauge/script_evaluator.h"

namespace {

const wchar_t* const kRenderScripts[] = {
    L"(G:Var1) dgrd 2 * ",                           // element 1, rotation
    L"(G:Var1) dgrd 2 * ",                           // element 2, shift
    L"(A:Airspeed select indicated or true,knots)",  // element 3, needle
    L"(G:Var1) dgrd ",                               // element 4, knob
};
const wchar_t* const kKnobScripts[] = {
    L"(G:Var1) 1 - 30 /-/ max d (&gt;G:Var1)",
    L"(G:Var1) 1 + 30 min d (&gt;G:Var1)",
};

void LoadTestGauge(CGaugeVariables& store) {
    for (const wchar_t* script : kRenderScripts) store.RegisterScript(script);
    const float block[] = {123.0f};
    store.OnReceiveData(block, sizeof block);
    store.Commit();
}

void PreparedScripts(benchmark::State& state) {
    CGaugeVariables store;
    LoadTestGauge(store);
    std::vector<CScript> render;
    std::vector<CScript> knobs;
    std::size_t tokens = 0;
    for (const wchar_t* text : kRenderScripts) {
        render.emplace_back(&store, text);
        tokens += render.back().TokenCount();
    }
    for (const wchar_t* text : kKnobScripts) {
        knobs.emplace_back(&store, text);
        tokens += knobs.back().TokenCount();
    }
    CScriptEvaluator renderPass(&store);
    CScriptEvaluator knobAction(&store);
    for (auto _ : state) {
        for (const CScript& script : render) benchmark::DoNotOptimize(renderPass.Execute(script));
        for (const CScript& script : knobs) benchmark::DoNotOptimize(knobAction.Execute(script));
    }
    state.counters["tokens_per_second"] = benchmark::Counter(
        static_cast<double>(tokens) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK(PreparedScripts);

// The same scripts from their text on every evaluation, for comparison.
void TextScripts(benchmark::State& state) {
    CGaugeVariables store;
    LoadTestGauge(store);
    std::vector<std::wstring> texts;
    std::size_t tokens = 0;
    for (const wchar_t* text : kRenderScripts) texts.emplace_back(text);
    for (const wchar_t* text : kKnobScripts) texts.emplace_back(text);
    for (const std::wstring& text : texts) tokens += CScript(&store, text).TokenCount();
    CScriptEvaluator evaluator(&store);
    for (auto _ : state) {
        for (const std::wstring& text : texts) {
            benchmark::DoNotOptimize(evaluator.Execute(text.c_str(), text.size()));
        }
    }
    state.counters["tokens_per_second"] = benchmark::Counter(
        static_cast<double>(tokens) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK(TextScripts);

}  // namespace

BENCHMARK_MAIN();
