#include "plugins/aviaro/gauge/script_evaluator.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

enum class CScript::Code : std::uint8_t {
    Push,
    Read,
    Write,
    Drop,
    Clear,
    // one operand
    Negate,
    Increment,
    Decrement,
    Truncate,
    Abs,
    Floor,
    Ceil,
    Cos,
    Sin,
    Tan,
    Acos,
    Asin,
    Atan,
    Ln,
    Square,
    Sqrt,
    Exp,
    Duplicate,
    WrapDegrees,
    WrapRadians,
    RadiansToDegrees,
    DegreesToRadians,
    // two operands
    Add,
    Subtract,
    Multiply,
    Divide,
    Min,
    Max,
    Log,
    Atan2,
    Pow,
    IntegerDivide,
    Swap,
    Equal,
    NotEqual,
    Greater,
    Less,
    GreaterEqual,
    LessEqual,
    // blocks
    If,
    Else,
    End,
    // recognised, no effect
    None,
};

namespace {

using Code = CScript::Code;

constexpr float kPi = 3.14159274f;              // the float nearest to pi
constexpr double kPiDouble = 3.1415927410125732;  // the same value, as double
constexpr float kTwoPi = 6.2831854820251465f;
// Up to this many turns a wrap steps one range at a time; beyond, it takes
// the remainder in one go.
constexpr int kWrapSteps = 16;

struct Word {
    const wchar_t* text;  // lower case
    Code code;
};

// Every word a token can be, matched whole and ignoring ASCII case. The
// comparisons come in the escaped form and in the form the XML reader
// delivers once it has resolved the entities.
constexpr Word kWords[] = {
    // constants and stack words
    {L"pi", Code::Push}, {L"b", Code::Drop}, {L"c", Code::Clear},
    // one operand
    {L"/-/", Code::Negate}, {L"++", Code::Increment}, {L"--", Code::Decrement},
    {L"%", Code::Truncate}, {L"abs", Code::Abs}, {L"flr", Code::Floor}, {L"cos", Code::Cos},
    {L"lg", Code::Ln}, {L"sin", Code::Sin}, {L"acos", Code::Acos}, {L"ctg", Code::None},
    {L"ln", Code::Ln}, {L"sqr", Code::Square}, {L"asin", Code::Asin}, {L"eps", Code::None},
    {L"sqrt", Code::Sqrt}, {L"exp", Code::Exp}, {L"tg", Code::Tan}, {L"atg", Code::Atan},
    {L"d", Code::Duplicate}, {L"p", Code::Drop}, {L"ceil", Code::Ceil}, {L"near", Code::None},
    {L"dnor", Code::WrapDegrees}, {L"d360", Code::WrapDegrees}, {L"rdeg", Code::WrapDegrees},
    {L"rddg", Code::RadiansToDegrees}, {L"dgrd", Code::DegreesToRadians},
    {L"rnor", Code::WrapRadians},
    // two operands
    {L"+", Code::Add}, {L"-", Code::Subtract}, {L"*", Code::Multiply}, {L"/", Code::Divide},
    {L"min", Code::Min}, {L"max", Code::Max}, {L"log", Code::Log}, {L"atn2", Code::Atan2},
    {L"pow", Code::Pow}, {L"div", Code::IntegerDivide}, {L"r", Code::Swap},
    // comparisons
    {L"==", Code::Equal}, {L"!=", Code::NotEqual},
    {L"&gt;", Code::Greater}, {L">", Code::Greater},
    {L"&lt;", Code::Less}, {L"<", Code::Less},
    {L"&gt;=", Code::GreaterEqual}, {L">=", Code::GreaterEqual},
    {L"&lt;=", Code::LessEqual}, {L"<=", Code::LessEqual},
};

wchar_t Lower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool StartsWithWord(std::wstring_view token, std::wstring_view word) {
    if (token.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (Lower(token[i]) != word[i]) return false;
    }
    return true;
}

bool IsWord(std::wstring_view token, std::wstring_view word) {
    return token.size() == word.size() && StartsWithWord(token, word);
}

const Word* FindWord(std::wstring_view token) {
    for (const Word& word : kWords) {
        if (IsWord(token, word.text)) return &word;
    }
    return nullptr;
}

bool IsNumber(std::wstring_view token) {
    for (wchar_t c : token) {
        if (c < L'0' || c > L'9') return false;
    }
    return true;  // the empty token too
}

float NumberValue(std::wstring_view digits) {
    if (digits.empty()) return 0.0f;
    char text[CScriptTokenizer::kMaxToken + 1];
    std::size_t n = 0;
    for (wchar_t c : digits) {
        if (n == CScriptTokenizer::kMaxToken) break;
        text[n++] = static_cast<char>(c);
    }
    text[n] = '\0';
    return std::strtof(text, nullptr);  // nearest float; too large gives infinity
}

bool IsIfBlock(std::wstring_view token) { return StartsWithWord(token, L"if{"); }
bool IsElseBlock(std::wstring_view token) { return StartsWithWord(token, L"els{"); }

// Toward zero into the 32-bit range; NaN gives 0, values beyond the range
// give its nearest end.
std::int32_t TruncateToInt32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
    if (x <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(x);
}

float IntegerDivide(float b, float a) {
    const std::int64_t divisor = TruncateToInt32(a);
    if (divisor == 0) return 0.0f;
    return static_cast<float>(static_cast<std::int64_t>(TruncateToInt32(b)) / divisor);
}

// Wraps x into 0..hi, both ends inclusive: 720 gives hi, -360 gives 0. Within
// a few turns it steps one range at a time, rounding to float at each step;
// further out it takes the remainder in one go, so every value ends in bounded
// time. An infinity gives 0; NaN stays NaN.
float Wrap(float x, float hi) {
    if (std::isnan(x)) return x;
    if (std::isinf(x)) return 0.0f;
    const float range = hi;
    const double far = kWrapSteps * static_cast<double>(range);
    if (x > hi) {
        if (static_cast<double>(x) - hi > far) {
            const double rest = std::fmod(static_cast<double>(x), static_cast<double>(range));
            return rest == 0.0 ? hi : static_cast<float>(rest);
        }
        while (x > hi) x = x - range;
    }
    if (x < 0.0f) {
        if (-static_cast<double>(x) > far) {
            const double rest = std::fmod(static_cast<double>(x), static_cast<double>(range));
            return rest == 0.0 ? 0.0f : static_cast<float>(rest + static_cast<double>(range));
        }
        while (x < 0.0f) x = x + range;
    }
    return x;
}

}  // namespace

// ---------------------------------------------------------------------------
// Tokens

bool CScriptTokenizer::Next(std::wstring_view& token) {
    if (done_ || pos_ >= length_ || text_[pos_] == L'\0') {
        done_ = true;
        return false;
    }
    const std::size_t start = pos_;
    int parens = 0;
    int braces = 0;
    for (;;) {
        if (pos_ >= length_ || text_[pos_] == L'\0') {
            done_ = true;
            token = std::wstring_view(text_ + start, pos_ - start);
            return true;
        }
        if (pos_ - start == kMaxToken) break;  // this 256th character is dropped
        const wchar_t c = text_[pos_];
        if (c == L'(') ++parens;
        else if (c == L')') --parens;
        else if (c == L'{') ++braces;
        else if (c == L'}') --braces;
        if (c == L' ' && parens < 1 && braces < 1) break;
        ++pos_;
    }
    token = std::wstring_view(text_ + start, pos_ - start);
    ++pos_;
    return true;
}

ScriptVariable ParseScriptVariable(std::wstring_view token) {
    ScriptVariable v;
    if (token.empty() || token[0] != L'(') return v;
    v.assignment = token.size() > 1 && (token[1] == L'&' || token[1] == L'>');
    const std::size_t close = token.rfind(L')');
    if (close == std::wstring_view::npos) return v;
    const std::size_t comma = token.rfind(L',');
    const std::size_t colon = token.find(L':');
    if (colon != std::wstring_view::npos) {
        v.letter = token[colon - 1];  // colon > 0: the token starts with "("
        std::size_t start = colon + 1;
        const std::size_t end = comma != std::wstring_view::npos ? comma : close;
        if (end < start) return v;
        while (start < end && token[start] == L' ') ++start;
        v.name = token.substr(start, end - start);
    }
    if (comma != std::wstring_view::npos) {
        std::size_t start = comma + 1;
        if (close < start) return v;
        while (start < close && token[start] == L' ') ++start;
        v.unit = token.substr(start, close - start);
    }
    v.valid = true;
    return v;
}

bool ExtractScriptBody(std::wstring_view token, std::wstring_view& body) {
    const std::size_t open = token.find(L'{');
    const std::size_t close = token.rfind(L'}');
    if (open == std::wstring_view::npos || close == std::wstring_view::npos) return false;
    std::size_t start = open + 1;
    while (start < token.size() && (token[start] == L'{' || token[start] == L' ')) ++start;
    std::size_t end = close;
    // Only the separating space goes: "if{7}" keeps its 7.
    if (end > start && token[end - 1] == L' ') --end;
    body = end > start ? token.substr(start, end - start) : std::wstring_view();
    return true;
}

namespace {

void Scan(CGaugeVariables& variables, std::wstring_view text, int depth) {
    CScriptTokenizer tokens(text.data(), text.size());
    std::wstring_view token;
    while (tokens.Next(token)) {
        if (IsNumber(token) || FindWord(token) != nullptr) continue;
        if (IsIfBlock(token) || IsElseBlock(token)) {
            std::wstring_view body;
            if (ExtractScriptBody(token, body) && depth + 1 < CScriptEvaluator::kMaxDepth) {
                Scan(variables, body, depth + 1);
            }
            continue;
        }
        const ScriptVariable v = ParseScriptVariable(token);
        if (v.valid && !v.assignment) variables.Register(v.letter, v.name, v.unit);
    }
}

}  // namespace

void ScanScriptVariables(CGaugeVariables& variables, std::wstring_view text) {
    Scan(variables, text, 0);
}

// The store's pre-scan lives here, beside the tokenizer it runs, so that the
// store needs nothing of the script language.
void CGaugeVariables::RegisterScript(const wchar_t* script) {
    if (script != nullptr) ScanScriptVariables(*this, std::wstring_view(script));
    ResetValuesAfterScan();
}

// ---------------------------------------------------------------------------
// Preparing

void CScript::Prepare(CGaugeVariables* variables, std::wstring_view text) {
    const std::size_t nul = text.find(L'\0');
    if (nul != std::wstring_view::npos) text = text.substr(0, nul);
    text_.assign(text);
    variables_ = variables;
    ops_.clear();
    tokens_ = 0;
    Compile(text_, 0);
}

void CScript::Compile(std::wstring_view text, int depth) {
    CScriptTokenizer tokens(text.data(), text.size());
    std::wstring_view token;
    while (tokens.Next(token)) {
        ++tokens_;
        Emit(token, depth);
    }
}

void CScript::Emit(std::wstring_view token, int depth) {
    if (IsNumber(token)) {
        ops_.push_back(Op{Code::Push, 0, NumberValue(token), {}});
        return;
    }
    if (const Word* word = FindWord(token)) {
        if (word->code == Code::Push) {
            ops_.push_back(Op{Code::Push, 0, kPi, {}});
        } else if (word->code != Code::None) {
            ops_.push_back(Op{word->code, 0, 0.0f, {}});
        }
        return;
    }
    const bool ifBlock = IsIfBlock(token);
    if (ifBlock || IsElseBlock(token)) {
        // Flat form: the body's ops sit between the block op and its end, so
        // running a block needs no recursion whatever its depth.
        const std::size_t at = ops_.size();
        ops_.push_back(Op{ifBlock ? Code::If : Code::Else, 0, 0.0f, {}});
        std::wstring_view body;
        if (ExtractScriptBody(token, body) && depth + 1 < CScriptEvaluator::kMaxDepth) {
            Compile(body, depth + 1);
        }
        ops_.push_back(Op{Code::End, 0, 0.0f, {}});
        ops_[at].jump = static_cast<std::uint32_t>(ops_.size());
        return;
    }
    if (token.empty() || token[0] != L'(') return;  // anything else is skipped
    const ScriptVariable v = ParseScriptVariable(token);
    const bool bound = v.valid && variables_ != nullptr;
    if (v.assignment) {
        if (bound) ops_.push_back(Op{Code::Write, 0, 0.0f, variables_->Bind(v.letter, v.name, v.unit)});
    } else if (bound) {
        ops_.push_back(Op{Code::Read, 0, 0.0f, variables_->Bind(v.letter, v.name, v.unit)});
    } else {
        ops_.push_back(Op{Code::Push, 0, 0.0f, {}});  // a read of nothing
    }
}

// ---------------------------------------------------------------------------
// Evaluating

float CScriptEvaluator::Execute(const wchar_t* text, std::size_t length) {
    size_ = 0;
    if (text == nullptr) return 0.0f;
    std::size_t n = 0;
    while (n < length && text[n] != L'\0') ++n;
    return Run(CScript(variables_, std::wstring_view(text, n)));
}

float CScriptEvaluator::Execute(const CScript& script) {
    if (script.variables_ != variables_) return Run(CScript(variables_, script.text_));
    return Run(script);
}

std::vector<float> CScriptEvaluator::Stack() const {
    return std::vector<float>(stack_.rend() - static_cast<std::ptrdiff_t>(size_), stack_.rend());
}

float CScriptEvaluator::Run(const CScript& script) {
    const CScript::Op* ops = script.ops_.data();
    const std::size_t count = script.ops_.size();
    // Every op adds at most one value and none runs twice, so this bounds the
    // stack: no growth check while running.
    if (stack_.size() < count + 1) stack_.resize(count + 1);
    float* st = stack_.data();
    CGaugeVariables* const variables = script.variables_;

    std::size_t top = 0;   // values on the stack
    std::size_t base = 0;  // the running block sees only values from here up
    int depth = 0;
    // Whether the last "if{" of this block was taken; "taken" at the start so
    // that an "els{" no "if{" precedes does nothing.
    bool ifTaken = true;

#define AV_UNARY(expr)                                   \
    if (top > base) {                                    \
        const double x = st[top - 1];                    \
        st[top - 1] = static_cast<float>(expr);          \
    }                                                    \
    break;
#define AV_BINARY(expr)                                  \
    if (top - base >= 2) {                               \
        const double a = st[top - 1];                    \
        const double b = st[top - 2];                    \
        --top;                                           \
        st[top - 1] = static_cast<float>(expr);          \
    }                                                    \
    break;

    std::size_t pc = 0;
    while (pc < count) {
        const CScript::Op& op = ops[pc++];
        switch (op.code) {
            case Code::Push: st[top++] = op.value; break;
            case Code::Read: st[top++] = variables->Read(op.ref); break;
            case Code::Write:
                if (top > base) variables->Write(op.ref, st[top - 1]);  // no pop
                break;
            case Code::Drop:
                if (top > base) --top;
                break;
            case Code::Clear: top = base; break;
            case Code::Negate: AV_UNARY(-x)
            case Code::Increment: AV_UNARY(x + 1.0)
            case Code::Decrement: AV_UNARY(x - 1.0)
            case Code::Truncate: AV_UNARY(TruncateToInt32(x))
            case Code::Abs: AV_UNARY(std::fabs(x))
            case Code::Floor: AV_UNARY(std::floor(x))
            case Code::Ceil: AV_UNARY(std::ceil(x))
            case Code::Cos: AV_UNARY(std::cos(x))
            case Code::Sin: AV_UNARY(std::sin(x))
            case Code::Tan: AV_UNARY(std::tan(x))
            case Code::Acos: AV_UNARY(std::acos(x))
            case Code::Asin: AV_UNARY(std::asin(x))
            case Code::Atan: AV_UNARY(std::atan(x))
            case Code::Ln: AV_UNARY(std::log(x))
            case Code::Square: AV_UNARY(x * x)
            case Code::Sqrt: AV_UNARY(std::sqrt(x))
            case Code::Exp: AV_UNARY(std::exp(x))
            case Code::WrapDegrees: AV_UNARY(Wrap(static_cast<float>(x), 360.0f))
            case Code::WrapRadians: AV_UNARY(Wrap(static_cast<float>(x), kTwoPi))
            case Code::RadiansToDegrees: AV_UNARY(x * 180.0 / kPiDouble)
            case Code::DegreesToRadians: AV_UNARY(x * kPiDouble / 180.0)
            case Code::Duplicate:
                if (top > base) {
                    st[top] = st[top - 1];
                    ++top;
                }
                break;
            case Code::Add: AV_BINARY(b + a)
            case Code::Subtract: AV_BINARY(b - a)
            case Code::Multiply: AV_BINARY(b * a)
            case Code::Divide: AV_BINARY(b / a)
            case Code::Min: AV_BINARY(b < a ? b : a)
            case Code::Max: AV_BINARY(b > a ? b : a)
            case Code::Log:  // both operands consumed, 0.0 pushed
                if (top - base >= 2) st[--top - 1] = 0.0f;
                break;
            case Code::Atan2: AV_BINARY(std::atan2(b, a))
            case Code::Pow: AV_BINARY(std::pow(b, a))
            case Code::IntegerDivide:
                AV_BINARY(IntegerDivide(static_cast<float>(b), static_cast<float>(a)))
            case Code::Equal: AV_BINARY(b == a ? 1.0 : 0.0)
            case Code::NotEqual: AV_BINARY(b != a ? 1.0 : 0.0)
            case Code::Greater: AV_BINARY(b > a ? 1.0 : 0.0)
            case Code::Less: AV_BINARY(b < a ? 1.0 : 0.0)
            case Code::GreaterEqual: AV_BINARY(b >= a ? 1.0 : 0.0)
            case Code::LessEqual: AV_BINARY(b <= a ? 1.0 : 0.0)
            case Code::Swap:
                if (top - base >= 2) std::swap(st[top - 1], st[top - 2]);
                break;
            case Code::If:
                if (top == base) {  // the flag keeps its value
                    pc = op.jump;
                    break;
                }
                ifTaken = st[--top] > 0.0f;
                if (!ifTaken) {
                    pc = op.jump;
                    break;
                }
                frames_[depth++] = Frame{base, ifTaken};
                base = top;
                ifTaken = true;
                break;
            case Code::Else:
                if (ifTaken) {
                    pc = op.jump;
                    break;
                }
                frames_[depth++] = Frame{base, ifTaken};
                base = top;
                ifTaken = true;
                break;
            case Code::End: {
                // The block's result replaces its own stack on the outer one.
                const float result = top > base ? st[top - 1] : 0.0f;
                top = base;
                --depth;
                base = frames_[depth].base;
                ifTaken = frames_[depth].ifTaken;
                st[top++] = result;
                break;
            }
            case Code::None: break;
        }
    }
#undef AV_UNARY
#undef AV_BINARY

    size_ = top;
    return top > 0 ? st[top - 1] : 0.0f;
}
