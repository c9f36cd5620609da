// The gauge script language: reverse-Polish scripts over 32-bit float values.
//
// A script is tokenised and its variables resolved once (CScript); evaluating
// the prepared form is what runs every frame. CScriptEvaluator::Execute on raw
// text prepares and runs in one go, for callers that evaluate a text once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/aviaro/gauge/gauge_variables.h"

// Splits script text into tokens. Only U+0020 separates, and not inside
// parentheses or braces, so "(A:Airspeed select indicated or true,knots)" and
// a whole "if{ ... }" block are one token each. A token holds at most 255
// characters: the 256th is dropped and the rest read as a new token. A leading
// space or two spaces in a row give an empty token; the text ends at its
// length or at a NUL, whichever comes first.
class CScriptTokenizer {
public:
    static constexpr std::size_t kMaxToken = 255;

    CScriptTokenizer(const wchar_t* text, std::size_t length)
        : text_(text), length_(text == nullptr ? 0 : length) {}

    // False when no token is left. The token views the text.
    bool Next(std::wstring_view& token);

private:
    const wchar_t* text_;
    std::size_t length_;
    std::size_t pos_ = 0;
    bool done_ = false;
};

// A parsed variable reference "(L:name,unit)". A token without a closing ")"
// (or whose parts overlap) refers to nothing: reads give 0.0, writes do nothing.
struct ScriptVariable {
    bool valid = false;
    bool assignment = false;  // "(&gt;G:x)", "(>G:x)" or any "(&..."
    wchar_t letter = L' ';
    std::wstring_view name;
    std::wstring_view unit;
};
ScriptVariable ParseScriptVariable(std::wstring_view token);

// The body of an "if{" or "els{" token: after the first "{" and any run of
// "{" and spaces, up to the last "}" less the separating space before it.
// False when the token lacks a "{" or a "}".
bool ExtractScriptBody(std::wstring_view token, std::wstring_view& body);

// The pre-scan: registers with the store every variable the text reads,
// inside blocks too. Assignments, numbers and operators register nothing.
void ScanScriptVariables(CGaugeVariables& variables, std::wstring_view text);

class CScriptEvaluator;

class CScript {
public:
    CScript() = default;
    CScript(CGaugeVariables* variables, std::wstring_view text) { Prepare(variables, text); }

    // Tokenises the text (up to its end or a NUL) and resolves its variables
    // in the given store, which must outlive this script. Without a store
    // every variable reads 0.0 and assignments change nothing.
    void Prepare(CGaugeVariables* variables, std::wstring_view text);

    const std::wstring& Text() const { return text_; }
    bool IsEmpty() const { return text_.empty(); }
    CGaugeVariables* Variables() const { return variables_; }
    // Tokens the tokenizer yields for this text, block bodies included.
    std::size_t TokenCount() const { return tokens_; }

    // The operations of the prepared form.
    enum class Code : std::uint8_t;

private:
    friend class CScriptEvaluator;

    struct Op {
        Code code;
        std::uint32_t jump = 0;  // blocks: the op after the block's end
        float value = 0.0f;
        CGaugeVariables::Ref ref;
    };

    void Compile(std::wstring_view text, int depth);
    void Emit(std::wstring_view token, int depth);

    std::wstring text_;
    CGaugeVariables* variables_ = nullptr;
    std::vector<Op> ops_;
    std::size_t tokens_ = 0;
};

class CScriptEvaluator {
public:
    // Blocks nest at most this deep. A 255-character token cannot hold more
    // levels than this; deeper ones would run nothing.
    static constexpr int kMaxDepth = 64;

    explicit CScriptEvaluator(CGaugeVariables* variables) : variables_(variables) {}

    // The value on top of the stack at the end, 0.0 when it ends empty or the
    // text is null. Evaluates at most length characters of the text.
    float Execute(const wchar_t* text, std::size_t length);
    float Execute(const CScript& script);

    // The stack the last Execute ended with, top first.
    std::vector<float> Stack() const;

private:
    struct Frame {
        std::size_t base;
        bool ifTaken;
    };

    float Run(const CScript& script);

    CGaugeVariables* variables_;
    std::vector<float> stack_;
    std::size_t size_ = 0;
    Frame frames_[kMaxDepth];
};
