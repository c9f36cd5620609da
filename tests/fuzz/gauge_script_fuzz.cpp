// Feeds arbitrary text to the script pre-scan, the preparation and the
// evaluator. Each byte is one character, so the fuzzer reaches the ASCII
// vocabulary quickly; the dictionary supplies the words.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/aviaro/gauge/script_evaluator.h"

namespace {

bool SameValue(float a, float b) {
    return std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text(size, L'\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<wchar_t>(data[i]);

    CGaugeVariables store;
    store.RegisterScript(text.c_str());  // stops at the first NUL, as loading does

    // The result is the top of the stack the evaluation ended with.
    CScriptEvaluator evaluator(&store);
    const CScript script(&store, text);
    for (int run = 0; run < 2; ++run) {
        const float result = evaluator.Execute(script);
        const std::vector<float> stack = evaluator.Stack();
        if (!SameValue(result, stack.empty() ? 0.0f : stack.front())) std::abort();
    }
    const float raw = evaluator.Execute(text.c_str(), text.size());
    const std::vector<float> stack = evaluator.Stack();
    if (!SameValue(raw, stack.empty() ? 0.0f : stack.front())) std::abort();

    // Two fresh stores give the same result: preparing loses nothing.
    CGaugeVariables first;
    CGaugeVariables second;
    CScriptEvaluator a(&first);
    CScriptEvaluator b(&second);
    const CScript prepared(&second, text);
    if (!SameValue(a.Execute(text.c_str(), text.size()), b.Execute(prepared))) std::abort();
    return 0;
}
