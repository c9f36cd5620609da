#include "plugins/aviaro/gauge/script_evaluator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

struct Outcome {
    float result;
    std::vector<float> stack;  // top first
};

// Evaluates the text from its raw form and from its prepared form and checks
// that both agree, each on a store of its own.
Outcome Eval(const std::wstring& text) {
    CGaugeVariables rawStore;
    CScriptEvaluator raw(&rawStore);
    const float rawResult = raw.Execute(text.c_str(), text.size());

    CGaugeVariables preparedStore;
    const CScript script(&preparedStore, text);
    CScriptEvaluator prepared(&preparedStore);
    const float preparedResult = prepared.Execute(script);

    const bool same = std::isnan(rawResult) ? std::isnan(preparedResult)
                                            : rawResult == preparedResult;
    EXPECT_TRUE(same) << "raw and prepared differ for " << testing::PrintToString(text);
    return {rawResult, raw.Stack()};
}

float Result(const std::wstring& text) { return Eval(text).result; }

std::vector<std::wstring> Tokens(const std::wstring& text) {
    CScriptTokenizer tokenizer(text.c_str(), text.size());
    std::vector<std::wstring> out;
    std::wstring_view token;
    while (tokenizer.Next(token)) out.emplace_back(token);
    return out;
}

using Stack = std::vector<float>;

TEST(ScriptEvaluator, DocumentedExamples) {
    struct Row {
        const wchar_t* script;
        float result;
        Stack stack;
    };
    const Row rows[] = {
        {L"10 4 -", 6.0f, {6.0f}},
        {L"2 3 pow", 8.0f, {8.0f}},
        {L"1 0 /", kInf, {kInf}},
        {L"7 2 div", 3.0f, {3.0f}},
        {L"7 /-/ 2 div", -3.0f, {-3.0f}},
        {L"0.5", 0.0f, {}},
        {L"1 2 /", 0.5f, {0.5f}},
        {L"(A:X)  5 +", 5.0f, {5.0f, 0.0f}},
        {L"3 d", 3.0f, {3.0f, 3.0f}},
        {L"3 4 r", 3.0f, {3.0f, 4.0f}},
        {L"1 2 c", 0.0f, {}},
        {L"5 b", 0.0f, {}},
        {L"1 if{ 7 } els{ 9 }", 7.0f, {7.0f}},
        {L"0 if{ 7 } els{ 9 }", 9.0f, {9.0f}},
        {L"1 /-/ if{ 7 }", 0.0f, {}},
        {L"-1 if{ 7 }", 0.0f, {}},
        {L"if{ 7 }", 0.0f, {}},
        {L"370 dnor", 10.0f, {10.0f}},
        {L"360 dnor", 360.0f, {360.0f}},
        {L"90 /-/ d360", 270.0f, {270.0f}},
        {L"PI", 3.14159274f, {3.14159274f}},
        {L"100 lg", static_cast<float>(std::log(100.0)), {static_cast<float>(std::log(100.0))}},
        {L"5 (&gt;G:A) 6 (&gt;g:a) (G:A)", 6.0f, {6.0f, 6.0f, 5.0f}},
    };
    for (const Row& row : rows) {
        const Outcome outcome = Eval(row.script);
        EXPECT_EQ(outcome.result, row.result) << testing::PrintToString(std::wstring(row.script));
        EXPECT_EQ(outcome.stack, row.stack) << testing::PrintToString(std::wstring(row.script));
    }
}

TEST(ScriptEvaluator, SimulatorValueUnderAnEmptyToken) {
    CGaugeVariables store;
    store.RegisterScript(L"(A:X)");
    const float block[] = {3.0f};
    store.OnReceiveData(block, sizeof block);
    store.Commit();
    CScriptEvaluator evaluator(&store);
    const std::wstring text = L"(A:X)  5 +";
    EXPECT_EQ(evaluator.Execute(text.c_str(), text.size()), 5.0f);
    EXPECT_EQ(evaluator.Stack(), (Stack{5.0f, 3.0f}));
    const std::wstring apart = L"(A:X)  5";
    evaluator.Execute(apart.c_str(), apart.size());
    EXPECT_EQ(evaluator.Stack(), (Stack{5.0f, 0.0f, 3.0f}));
}

TEST(ScriptTokenizer, SplitsOnSingleSpacesOutsideParenthesesAndBraces) {
    EXPECT_EQ(Tokens(L"a  b"), (std::vector<std::wstring>{L"a", L"", L"b"}));
    EXPECT_EQ(Tokens(L" a"), (std::vector<std::wstring>{L"", L"a"}));
    EXPECT_EQ(Tokens(L"a "), (std::vector<std::wstring>{L"a"}));
    EXPECT_EQ(Tokens(L""), (std::vector<std::wstring>{}));
    EXPECT_EQ(Tokens(L"(A:Airspeed select indicated or true,knots) 2"),
              (std::vector<std::wstring>{L"(A:Airspeed select indicated or true,knots)", L"2"}));
    EXPECT_EQ(Tokens(L"1 if{ 2 (G:a b) } els{ 3 } 4"),
              (std::vector<std::wstring>{L"1", L"if{ 2 (G:a b) }", L"els{ 3 }", L"4"}));
    // Tab, CR and LF are token characters; an unbalanced ")" does not hold spaces.
    EXPECT_EQ(Tokens(L"1\t2 3\r\n) 4"), (std::vector<std::wstring>{L"1\t2", L"3\r\n)", L"4"}));
    // An unclosed parenthesis swallows the rest.
    EXPECT_EQ(Tokens(L"(G:x 1 +"), (std::vector<std::wstring>{L"(G:x 1 +"}));
}

TEST(ScriptTokenizer, CutsTokensAt255CharactersAndDropsThe256th) {
    const std::wstring text = std::wstring(255, L'1') + L"9" + L"23 4";
    EXPECT_EQ(Tokens(text), (std::vector<std::wstring>{std::wstring(255, L'1'), L"23", L"4"}));
    // Exactly 255 characters then the end: one token, nothing more.
    EXPECT_EQ(Tokens(std::wstring(255, L'7')), (std::vector<std::wstring>{std::wstring(255, L'7')}));
    // The cut number pushes its 255-digit value (an infinity as a float); then 23.
    EXPECT_EQ(Eval(text + L" +").stack, (Stack{27.0f, kInf}));
}

TEST(ScriptTokenizer, StopsAtTheLengthOrAtANul) {
    CGaugeVariables store;
    CScriptEvaluator evaluator(&store);
    const wchar_t text[] = L"1 2 + 10 *";
    EXPECT_EQ(evaluator.Execute(text, 5), 3.0f);
    EXPECT_EQ(evaluator.Execute(text, 3), 2.0f);
    const wchar_t withNul[] = {L'4', L' ', L'5', L'\0', L'6', L' ', L'+'};
    EXPECT_EQ(evaluator.Execute(withNul, 7), 5.0f);
    EXPECT_EQ(evaluator.Stack(), (Stack{5.0f, 4.0f}));
    EXPECT_EQ(evaluator.Execute(nullptr, 10), 0.0f);
    EXPECT_EQ(evaluator.Stack(), Stack{});
}

TEST(ScriptEvaluator, NumbersAreDigitsOnly) {
    EXPECT_EQ(Eval(L"30").stack, Stack{30.0f});
    EXPECT_EQ(Eval(L"1 -1 0.5 1e3 +5 x").stack, Stack{1.0f});  // the rest is skipped
    EXPECT_EQ(Eval(L"16777217").stack, Stack{16777216.0f});     // nearest float
    EXPECT_EQ(Eval(L" ").stack, Stack{0.0f});                   // one empty token
}

TEST(ScriptEvaluator, OneOperandWords) {
    struct Row {
        const wchar_t* script;
        float result;
    };
    const double pi = 3.1415927410125732;
    const Row rows[] = {
        {L"5 /-/", -5.0f},
        {L"5 ++", 6.0f},
        {L"5 --", 4.0f},
        {L"7 2 / %", 3.0f},
        {L"7 /-/ 2 / %", -3.0f},
        {L"5 /-/ abs", 5.0f},
        {L"7 2 / flr", 3.0f},
        {L"7 2 / /-/ flr", -4.0f},
        {L"7 2 / ceil", 4.0f},
        {L"0 cos", 1.0f},
        {L"0 sin", 0.0f},
        {L"1 tg", static_cast<float>(std::tan(1.0))},
        {L"1 acos", 0.0f},
        {L"1 asin", static_cast<float>(std::asin(1.0))},
        {L"1 atg", static_cast<float>(std::atan(1.0))},
        {L"10 ln", static_cast<float>(std::log(10.0))},
        {L"10 lg", static_cast<float>(std::log(10.0))},
        {L"12 sqr", 144.0f},
        {L"144 sqrt", 12.0f},
        {L"1 exp", static_cast<float>(std::exp(1.0))},
        {L"4 ctg", 4.0f},
        {L"4 eps", 4.0f},
        {L"4 near", 4.0f},
        {L"1 2 p", 1.0f},
        {L"pi rddg", static_cast<float>(static_cast<double>(3.14159274f) * 180.0 / pi)},
        {L"180 dgrd", static_cast<float>(180.0 * pi / 180.0)},
        {L"370 d360", 10.0f},
        {L"370 rdeg", 10.0f},
        {L"7 rnor", 7.0f - 6.2831854820251465f},
        {L"pi 4 * rnor", 6.2831854820251465f},
        {L"pi 2 * /-/ rnor", 0.0f},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Result(row.script), row.result) << testing::PrintToString(std::wstring(row.script));
    }
    // Recognised with an empty stack: nothing happens.
    for (const wchar_t* word : {L"/-/", L"abs", L"d", L"p", L"dnor", L"ctg", L"b", L"c"}) {
        EXPECT_EQ(Eval(word).stack, Stack{}) << testing::PrintToString(std::wstring(word));
    }
    EXPECT_EQ(Eval(L"2 d").stack, (Stack{2.0f, 2.0f}));
}

TEST(ScriptEvaluator, TwoOperandWords) {
    struct Row {
        const wchar_t* script;
        Stack stack;
    };
    const Row rows[] = {
        {L"10 4 +", {14.0f}},
        {L"10 4 -", {6.0f}},
        {L"10 4 *", {40.0f}},
        {L"10 4 /", {2.5f}},
        {L"10 4 min", {4.0f}},
        {L"10 4 max", {10.0f}},
        {L"10 4 log", {0.0f}},
        {L"1 0 atn2", {static_cast<float>(std::atan2(1.0, 0.0))}},
        {L"0 1 /-/ atn2", {static_cast<float>(std::atan2(0.0, -1.0))}},
        {L"2 10 pow", {1024.0f}},
        {L"17 5 div", {3.0f}},
        {L"1 2 r", {1.0f, 2.0f}},
        // Fewer than two values: nothing happens.
        {L"4 +", {4.0f}},
        {L"4 r", {4.0f}},
        {L"4 log", {4.0f}},
        // Operations compute in double and round once: 16777217 is not a float.
        {L"16777216 1 +", {16777216.0f}},
        {L"16777216 1 + 1 +", {16777216.0f}},
        {L"9 0 /-/ min", {-0.0f}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Eval(row.script).stack, row.stack) << testing::PrintToString(std::wstring(row.script));
    }
    EXPECT_TRUE(std::isnan(Result(L"0 0 /")));
    EXPECT_EQ(Result(L"1 /-/ 0 /"), -kInf);
}

TEST(ScriptEvaluator, ComparisonsInEscapedAndPlainForm) {
    struct Row {
        const wchar_t* op;
        float less;     // 1 op 2
        float equal;    // 2 op 2
        float greater;  // 3 op 2
    };
    const Row rows[] = {
        {L"==", 0, 1, 0},    {L"!=", 1, 0, 1},    {L"&gt;", 0, 0, 1}, {L">", 0, 0, 1},
        {L"&lt;", 1, 0, 0},  {L"<", 1, 0, 0},     {L"&gt;=", 0, 1, 1}, {L">=", 0, 1, 1},
        {L"&lt;=", 1, 1, 0}, {L"<=", 1, 1, 0},    {L"&GT;", 0, 0, 1},
    };
    for (const Row& row : rows) {
        const std::wstring op = row.op;
        EXPECT_EQ(Eval(L"1 2 " + op).stack, Stack{row.less}) << testing::PrintToString(op);
        EXPECT_EQ(Eval(L"2 2 " + op).stack, Stack{row.equal}) << testing::PrintToString(op);
        EXPECT_EQ(Eval(L"3 2 " + op).stack, Stack{row.greater}) << testing::PrintToString(op);
        // A NaN operand: every comparison false except "!=".
        const float nan = op == L"!=" ? 1.0f : 0.0f;
        EXPECT_EQ(Eval(L"0 0 / 2 " + op).stack, Stack{nan}) << testing::PrintToString(op);
        EXPECT_EQ(Eval(L"2 0 0 / " + op).stack, Stack{nan}) << testing::PrintToString(op);
        EXPECT_EQ(Eval(L"2 " + op).stack, Stack{2.0f}) << testing::PrintToString(op);
    }
    EXPECT_EQ(Eval(L"1 2 =>").stack, (Stack{2.0f, 1.0f}));  // not a word: skipped
}

TEST(ScriptEvaluator, WordsIgnoreAsciiCase) {
    EXPECT_EQ(Result(L"1 ACOS"), 0.0f);
    EXPECT_EQ(Result(L"Pi"), 3.14159274f);
    EXPECT_EQ(Result(L"1 IF{ 7 } ELS{ 9 }"), 7.0f);
    EXPECT_EQ(Result(L"0 If{ 7 } eLs{ 9 }"), 9.0f);
    EXPECT_EQ(Result(L"370 DNOR"), 10.0f);
}

TEST(ScriptEvaluator, VariableReadsAndAssignments) {
    CGaugeVariables store;
    CScriptEvaluator evaluator(&store);
    const std::wstring script = L"(G:Var1) 1 + 30 min d (&gt;G:Var1)";
    for (int i = 0; i < 31; ++i) evaluator.Execute(script.c_str(), script.size());
    EXPECT_EQ(store.Get(L'G', L"Var1", L""), 30.0f);
    // The assignment leaves its value on the stack.
    EXPECT_EQ(evaluator.Stack(), (Stack{30.0f, 30.0f}));
    // On an empty stack an assignment does nothing.
    const std::wstring empty = L"(&gt;G:Var1)";
    EXPECT_EQ(evaluator.Execute(empty.c_str(), empty.size()), 0.0f);
    EXPECT_EQ(store.Get(L'L', L"var1", L""), 30.0f);
    // A read of a local that doesn't exist yields 0.0.
    const std::wstring unknown = L"(L:Nowhere) 2 +";
    EXPECT_EQ(evaluator.Execute(unknown.c_str(), unknown.size()), 2.0f);
}

TEST(ScriptVariableParsing, LetterNameAndUnit) {
    ScriptVariable v = ParseScriptVariable(L"(A:Airspeed select indicated or true,knots)");
    EXPECT_TRUE(v.valid);
    EXPECT_FALSE(v.assignment);
    EXPECT_EQ(v.letter, L'A');
    EXPECT_EQ(v.name, L"Airspeed select indicated or true");
    EXPECT_EQ(v.unit, L"knots");

    v = ParseScriptVariable(L"(&gt;G:Var1)");
    EXPECT_TRUE(v.valid && v.assignment);
    EXPECT_EQ(v.letter, L'G');
    EXPECT_EQ(v.name, L"Var1");
    EXPECT_EQ(v.unit, L"");

    v = ParseScriptVariable(L"(>G:Var1)");
    EXPECT_TRUE(v.valid && v.assignment);
    EXPECT_EQ(v.name, L"Var1");

    // Leading spaces are skipped, spaces before the comma stay.
    v = ParseScriptVariable(L"(A:  Indicated altitude ,  feet)");
    EXPECT_EQ(v.name, L"Indicated altitude ");
    EXPECT_EQ(v.unit, L"feet");

    // No colon: the letter is a space and the name empty.
    v = ParseScriptVariable(L"(Var1,knots)");
    EXPECT_TRUE(v.valid);
    EXPECT_EQ(v.letter, L' ');
    EXPECT_EQ(v.name, L"");
    EXPECT_EQ(v.unit, L"knots");

    // No closing parenthesis, or parts out of order: a reference to nothing.
    EXPECT_FALSE(ParseScriptVariable(L"(A:X,knots").valid);
    EXPECT_FALSE(ParseScriptVariable(L"(A,B:X)").valid);
    EXPECT_FALSE(ParseScriptVariable(L"(A:X),b").valid);
}

TEST(ScriptEvaluator, BlocksRunOnAStackOfTheirOwn) {
    struct Row {
        const wchar_t* script;
        Stack stack;
    };
    const Row rows[] = {
        {L"1 if{ 1 2 + }", {3.0f}},
        // The outer stack is out of the block's reach.
        {L"5 1 if{ 2 + }", {2.0f, 5.0f}},
        {L"5 1 if{ c }", {0.0f, 5.0f}},
        // A taken empty block pushes 0.0.
        {L"1 if{ }", {0.0f}},
        {L"1 if{}", {0.0f}},
        // Only the separating space before "}" is dropped.
        {L"1 if{7}", {7.0f}},
        {L"1 if{ 1 2 +}", {3.0f}},
        {L"1 if{{ 4 }", {4.0f}},
        // Without a "}" a taken block runs nothing and pushes 0.0.
        {L"1 if{ 7", {0.0f}},
        // The else flag carries from an "if{" to a later "els{".
        {L"1 if{ 7 } 2 els{ 9 }", {2.0f, 7.0f}},
        {L"0 if{ 7 } 2 els{ 9 }", {9.0f, 2.0f}},
        // An "if{" on an empty stack leaves the flag as it was.
        {L"0 if{ 7 } if{ 8 } els{ 9 }", {9.0f}},
        // Nested blocks have their own flag and leave the outer one alone.
        {L"0 if{ 1 } els{ 1 if{ 3 } els{ 4 } } els{ 8 }", {8.0f, 3.0f}},
        {L"1 if{ 0 if{ 3 } els{ 4 } }", {4.0f}},
        {L"1 if{ els{ 4 } }", {0.0f}},
        // "els{" leaves the stack alone.
        {L"0 if{ 1 } 6 els{ 5 }", {5.0f, 6.0f}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Eval(row.script).stack, row.stack) << testing::PrintToString(std::wstring(row.script));
    }
    std::wstring_view body;
    EXPECT_TRUE(ExtractScriptBody(L"if{ 1 2 + }", body));
    EXPECT_EQ(body, L"1 2 +");
    EXPECT_FALSE(ExtractScriptBody(L"if{ 1 2 +", body));
}

TEST(ScriptEvaluator, BlocksInsideBlocksReadAndAssignTheSameStore) {
    CGaugeVariables store;
    CScriptEvaluator evaluator(&store);
    const std::wstring script =
        L"(G:Mode) 0 == if{ 1 (>G:Mode) 10 } els{ (G:Mode) 1 + (>G:Mode) 20 }";
    EXPECT_EQ(evaluator.Execute(script.c_str(), script.size()), 10.0f);
    EXPECT_EQ(store.Get(L'G', L"Mode", L""), 1.0f);
    EXPECT_EQ(evaluator.Execute(script.c_str(), script.size()), 20.0f);
    EXPECT_EQ(store.Get(L'G', L"Mode", L""), 2.0f);
}

// Mended: the XML reader resolves "&gt;" and "&lt;", so scripts from a gauge
// file arrive with plain ">" and "<".
TEST(ScriptEvaluatorMended, PlainComparisonsAndAssignments) {
    CGaugeVariables store;
    CScriptEvaluator evaluator(&store);
    const std::wstring knob = L"(G:Var1) 1 - 30 /-/ max d (>G:Var1)";
    for (int i = 0; i < 40; ++i) evaluator.Execute(knob.c_str(), knob.size());
    EXPECT_EQ(store.Get(L'G', L"Var1", L""), -30.0f);
    const std::wstring test = L"(G:Var1) 0 < if{ 1 } els{ 2 }";
    EXPECT_EQ(evaluator.Execute(test.c_str(), test.size()), 1.0f);
    // An assignment is no read: the pre-scan registers nothing for it.
    store.RegisterScript(L"5 (>A:Flaps,percent) (&gt;A:Gear,bool)");
    EXPECT_EQ(store.Count(), 0);
}

TEST(ScriptEvaluatorMended, NestingIsBoundedAndNeedsNoRecursion) {
    // As deep as a 255-character token allows.
    std::wstring script = L"7";
    int depth = 0;
    while (true) {
        const std::wstring deeper = L"1 if{ " + script + L" }";
        if (deeper.size() > 255 + 2) break;
        script = deeper;
        ++depth;
    }
    EXPECT_GE(depth, 30);
    EXPECT_EQ(Eval(script).stack, Stack{7.0f});
    // Deeper text is cut into tokens and still ends in a defined value.
    std::wstring deep;
    for (int i = 0; i < 20000; ++i) deep += L"1 if{ ";
    deep += L"7";
    for (int i = 0; i < 20000; ++i) deep += L" }";
    const Outcome outcome = Eval(deep);
    EXPECT_FALSE(std::isnan(outcome.result));
    // A long flat script with many blocks.
    std::wstring many;
    for (int i = 0; i < 10000; ++i) many += L"1 if{ 1 if{ 2 } } + ";
    EXPECT_EQ(Eval(L"0 " + many).stack, Stack{20000.0f});
}

TEST(ScriptEvaluatorMended, WrappingEndsForEveryValue) {
    struct Row {
        const wchar_t* script;
        float result;
    };
    const Row rows[] = {
        {L"720 dnor", 360.0f},
        {L"1080 dnor", 360.0f},
        {L"360 /-/ dnor", 0.0f},
        {L"720 /-/ dnor", 0.0f},
        {L"3610 dnor", 10.0f},
        {L"3610 /-/ dnor", 350.0f},
        {L"1000000000 dnor", 280.0f},
        {L"1000000000 /-/ dnor", 80.0f},
        {L"72000 dnor", 360.0f},
        {L"72000 /-/ dnor", 0.0f},
        {L"1 0 / dnor", 0.0f},
        {L"1 /-/ 0 / d360", 0.0f},
        {L"1 0 / rnor", 0.0f},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Result(row.script), row.result) << testing::PrintToString(std::wstring(row.script));
    }
    EXPECT_TRUE(std::isnan(Result(L"0 0 / dnor")));
    // Values so large that subtracting a turn leaves them unchanged.
    for (const wchar_t* script : {L"10 30 pow dnor", L"10 30 pow /-/ rdeg", L"10 38 pow rnor"}) {
        const float r = Result(script);
        EXPECT_TRUE(r >= 0.0f && r <= 360.0f) << testing::PrintToString(std::wstring(script));
    }
    // Within a few turns the result is what stepping one turn at a time gives.
    float stepped = 11.5f * 6.2831854820251465f;
    const float start = stepped;
    while (stepped > 6.2831854820251465f) stepped = stepped - 6.2831854820251465f;
    CGaugeVariables store;
    store.Set(L'G', L"x", L"", start);
    CScriptEvaluator evaluator(&store);
    const std::wstring script = L"(G:x) rnor";
    EXPECT_EQ(evaluator.Execute(script.c_str(), script.size()), stepped);
}

TEST(ScriptEvaluatorMended, DivisionAndTruncationOutsideTheIntegerRange) {
    struct Row {
        const wchar_t* script;
        float result;
    };
    const Row rows[] = {
        {L"7 0 div", 0.0f},
        {L"7 1 2 / div", 0.0f},            // the divisor truncates to 0
        {L"7 0 0 / div", 0.0f},            // NaN truncates to 0
        {L"0 0 / 1 div", 0.0f},
        {L"1 0 / 2 div", 1073741824.0f},   // 2147483647 / 2, as float
        {L"1 /-/ 0 / 1 div", -2147483648.0f},
        {L"2147483648 /-/ 1 /-/ div", 2147483648.0f},
        {L"1 0 / %", 2147483648.0f},
        {L"1 /-/ 0 / %", -2147483648.0f},
        {L"0 0 / %", 0.0f},
        {L"10 12 pow %", 2147483648.0f},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Result(row.script), row.result) << testing::PrintToString(std::wstring(row.script));
    }
}

TEST(ScriptEvaluatorMended, VariableTokenWithoutClosingParenthesis) {
    CGaugeVariables store;
    CScriptEvaluator evaluator(&store);
    // A read of nothing pushes 0.0; the unclosed parenthesis swallows the rest.
    const std::wstring read = L"4 (G:x 5 +";
    EXPECT_EQ(evaluator.Execute(read.c_str(), read.size()), 0.0f);
    EXPECT_EQ(evaluator.Stack(), (Stack{0.0f, 4.0f}));
    // A write of nothing changes nothing.
    const std::wstring write = L"3 (>G:x";
    EXPECT_EQ(evaluator.Execute(write.c_str(), write.size()), 3.0f);
    EXPECT_EQ(store.Get(L'G', L"x", L""), 0.0f);
    store.RegisterScript(L"(A:X,knots");
    EXPECT_EQ(store.Count(), 0);
}

TEST(ScriptEvaluatorMended, ElseWithoutIfDoesNothing) {
    EXPECT_EQ(Eval(L"els{ 9 }").stack, Stack{});
    EXPECT_EQ(Eval(L"5 els{ 9 }").stack, Stack{5.0f});
    // The flag does not carry from one evaluation to the next.
    CGaugeVariables store;
    CScriptEvaluator evaluator(&store);
    const std::wstring first = L"0 if{ 1 }";
    const std::wstring second = L"els{ 9 }";
    evaluator.Execute(first.c_str(), first.size());
    EXPECT_EQ(evaluator.Execute(second.c_str(), second.size()), 0.0f);
    EXPECT_EQ(evaluator.Stack(), Stack{});
}

TEST(ScriptEvaluator, PreparedScriptsFollowTheStore) {
    CGaugeVariables store;
    const CScript read(&store, L"(A:Y,feet) 2 *");
    CScriptEvaluator evaluator(&store);
    EXPECT_EQ(evaluator.Execute(read), 0.0f);  // not in the data definition yet
    store.RegisterScript(L"(A:y,FEET)");
    const float block[] = {21.0f};
    store.OnReceiveData(block, sizeof block);
    store.Commit();
    EXPECT_EQ(evaluator.Execute(read), 42.0f);
    EXPECT_EQ(read.TokenCount(), 3u);
    EXPECT_EQ(read.Text(), L"(A:Y,feet) 2 *");
    // A script prepared for another store runs against the evaluator's own.
    CGaugeVariables other;
    other.Set(L'G', L"z", L"", 5.0f);
    const CScript foreign(&store, L"(G:z)");
    CScriptEvaluator otherEvaluator(&other);
    EXPECT_EQ(otherEvaluator.Execute(foreign), 5.0f);
    // Without a store variables read 0.0 and assignments go nowhere.
    CScriptEvaluator bare(nullptr);
    const std::wstring text = L"4 (>G:z) (G:z) 1 +";
    EXPECT_EQ(bare.Execute(text.c_str(), text.size()), 1.0f);
}

}  // namespace
