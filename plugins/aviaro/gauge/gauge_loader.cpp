// Reading gauge files into the renderer's model: the Gauge vocabulary (root
// "Gauge") and the SimGauge vocabulary (root "SimBase.Document").
#include <climits>
#include <cwchar>

#include "plugins/aviaro/gauge/gauge_renderer.h"
#include "plugins/aviaro/host/trace_log.h"
#include "plugins/aviaro/xml/xml_node.h"

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

// Element names compare without the case of the ASCII letters.
bool NameIs(const CXmlNode& node, const wchar_t* name) {
    const std::wstring& n = node.GetName();
    std::size_t i = 0;
    for (; name[i] != L'\0'; ++i) {
        if (i >= n.size()) return false;
        wchar_t a = n[i], b = name[i];
        if (a >= L'A' && a <= L'Z') a = static_cast<wchar_t>(a + 32);
        if (b >= L'A' && b <= L'Z') b = static_cast<wchar_t>(b + 32);
        if (a != b) return false;
    }
    return i == n.size();
}

const CXmlNode* FindChild(const CXmlNode& node, const wchar_t* name) {
    for (std::size_t i = 0; i < node.GetChildCount(); ++i) {
        const CXmlNode* child = node.GetChild(i);
        if (NameIs(*child, name)) return child;
    }
    return nullptr;
}

// Decimal integer as the C library's atoi reads it: leading whitespace, a
// sign, digits up to the first other character; out of range is held at the
// 32-bit limits.
int ParseInt(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && (IsSpace(text[i]) || text[i] == L'\v' || text[i] == L'\f')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 1LL << 32) value = 1LL << 32;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

double ParseDouble(const std::wstring& text) { return std::wcstod(text.c_str(), nullptr); }

double AttributeNumber(const CXmlNode& node, const wchar_t* name) {
    const std::wstring* value = node.GetAttribute(name);
    return value != nullptr ? ParseDouble(*value) : 0.0;
}

std::wstring AttributeText(const CXmlNode& node, const wchar_t* name) {
    const std::wstring* value = node.GetAttribute(name);
    return value != nullptr ? *value : std::wstring();
}

// "x, y": split at the last comma, whitespace after it skipped; without a
// comma the pair is (x, 0).
void ParsePair(const std::wstring& text, float& x, float& y) {
    const std::size_t comma = text.rfind(L',');
    if (comma == std::wstring::npos) {
        x = static_cast<float>(ParseDouble(text));
        y = 0.0f;
        return;
    }
    x = static_cast<float>(ParseDouble(text.substr(0, comma)));
    std::size_t i = comma + 1;
    while (i < text.size() && IsSpace(text[i])) ++i;
    y = static_cast<float>(ParseDouble(text.substr(i)));
}

}  // namespace

bool CGaugeRenderer::LoadFromFile(CGaugeVariables& variables, const std::wstring& path) {
    CXmlNode* root = nullptr;
    if (!ReadXmlFile(path, &root) || root == nullptr) {
        CTraceLog::Instance().Trace(L"Unable to Read Gauge File");
        return false;
    }
    // Folders end at a backslash; off Windows a slash ends one too.
    const std::size_t slash = path.find_last_of(L"\\/");
    bool result = false;
    if (NameIs(*root, L"Gauge")) {
        gaugeName_ = AttributeText(*root, L"Name");
        imageFolder_ = (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash)) + L"\\1024";
        result = ReadGaugeFormat(variables, *root);
    } else if (NameIs(*root, L"SimBase.Document")) {
        imageFolder_ = slash == std::wstring::npos ? path : path.substr(0, slash);
        result = ReadSimGaugeFormat(variables, *root);
    } else {
        CTraceLog::Instance().Trace(L"Invalid Node Parsing Gauge File");
    }
    FreeXmlTree(root);
    return result;
}

float CGaugeRenderer::ScaleX(double x) const {
    return static_cast<float>(designWidth_ != 0 ? x * drawWidth_ / designWidth_ : x);
}

float CGaugeRenderer::ScaleY(double y) const {
    return static_cast<float>(designHeight_ != 0 ? y * drawHeight_ / designHeight_ : y);
}

void CGaugeRenderer::ParseImageSizes(const std::wstring& sizes) {
    // Taken apart from the right: H2, W2, H1, and what remains is W1.
    std::wstring text = sizes;
    int* const fields[3] = {&drawHeight_, &drawWidth_, &designHeight_};
    for (int* field : fields) {
        const std::size_t comma = text.rfind(L',');
        if (comma == std::wstring::npos) break;
        std::size_t i = comma + 1;
        while (i < text.size() && IsSpace(text[i])) ++i;
        *field = ParseInt(text.substr(i));
        if (field != &designHeight_) drawSizeGiven_ = true;
        text.resize(comma);
    }
    designWidth_ = ParseInt(text);
}

// ---------------------------------------------------------------------------
// The Gauge vocabulary

bool CGaugeRenderer::ReadGaugeFormat(CGaugeVariables& variables, const CXmlNode& root) {
    for (std::size_t i = 0; i < root.GetChildCount(); ++i) {
        const CXmlNode& child = *root.GetChild(i);
        if (NameIs(child, L"Image")) {
            LoadBackground(imageFolder_ + L"\\" + AttributeText(child, L"Name"));
            if (const std::wstring* sizes = child.GetAttribute(L"ImageSizes")) ParseImageSizes(*sizes);
        } else if (NameIs(child, L"Element")) {
            auto element = std::make_unique<CGaugeElement>(&variables, background_.Width(),
                                                           background_.Height());
            ReadGaugeElement(*element, child);
            elements_.push_back(std::move(element));
        } else if (NameIs(child, L"Mouse")) {
            ReadMouse(child);
        } else {
            // A comment, an update block: not ours to draw, and no reason to
            // refuse the rest of the gauge.
            CTraceLog::Instance().Trace(L"CGaugeRenderer::LoadFromFile - skipped " + child.GetName());
        }
    }
    // A gauge with a background is drawn as it is; without one the page
    // falls back to the test gauge.
    return background_.IsLoaded();
}

void CGaugeRenderer::ReadNonlinearity(CGaugeElement& element, const CXmlNode& node) {
    for (std::size_t i = 0; i < node.GetChildCount(); ++i) {
        const CXmlNode& item = *node.GetChild(i);
        if (!NameIs(item, L"Item")) continue;
        const float value = static_cast<float>(AttributeNumber(item, L"Value"));
        if (const std::wstring* degrees = item.GetAttribute(L"Degrees")) {
            element.AddNonlinearityAngle(value, static_cast<float>(ParseDouble(*degrees)));
        } else {
            element.AddNonlinearityXY(value, ScaleX(AttributeNumber(item, L"X")),
                                      ScaleY(AttributeNumber(item, L"Y")));
        }
    }
}

void CGaugeRenderer::ReadGaugeElement(CGaugeElement& element, const CXmlNode& node) {
    // The minimum and maximum of a "Value" child.
    auto readValue = [](const CXmlNode& value, bool& hasMin, float& min, bool& hasMax, float& max) {
        const std::wstring* minimum = value.GetAttribute(L"Minimum");
        const std::wstring* maximum = value.GetAttribute(L"Maximum");
        hasMin = minimum != nullptr;
        min = hasMin ? static_cast<float>(ParseDouble(*minimum)) : -1000000.0f;
        hasMax = maximum != nullptr;
        max = hasMax ? static_cast<float>(ParseDouble(*maximum)) : 1000000.0f;
    };
    for (std::size_t i = 0; i < node.GetChildCount(); ++i) {
        const CXmlNode& child = *node.GetChild(i);
        if (NameIs(child, L"Position")) {
            element.SetPosition(ScaleX(AttributeNumber(child, L"X")), ScaleY(AttributeNumber(child, L"Y")));
        } else if (NameIs(child, L"Visible")) {
            element.SetVisible(child.GetText());
        } else if (NameIs(child, L"MaskImage") || NameIs(child, L"Image")) {
            const CXmlNode* axis = FindChild(child, L"Axis");
            const float ax = axis != nullptr ? ScaleX(AttributeNumber(*axis, L"X")) : 0.0f;
            const float ay = axis != nullptr ? ScaleY(AttributeNumber(*axis, L"Y")) : 0.0f;
            const std::wstring name = AttributeText(child, L"Name");
            if (NameIs(child, L"MaskImage")) {
                element.SetMaskImage(imageFolder_, name, ax, ay);
            } else {
                const std::wstring* alpha = child.GetAttribute(L"Alpha");
                element.SetImage(imageFolder_, name, ax, ay, alpha != nullptr && *alpha == L"Yes");
                for (std::size_t k = 0; k < child.GetChildCount(); ++k) {
                    if (NameIs(*child.GetChild(k), L"Nonlinearity")) ReadNonlinearity(element, *child.GetChild(k));
                }
            }
        } else if (NameIs(child, L"Shift") || NameIs(child, L"Rotate")) {
            const bool shift = NameIs(child, L"Shift");
            for (std::size_t k = 0; k < child.GetChildCount(); ++k) {
                const CXmlNode& part = *child.GetChild(k);
                if (NameIs(part, L"Value")) {
                    bool hasMin, hasMax;
                    float min, max;
                    readValue(part, hasMin, min, hasMax, max);
                    if (shift) {
                        element.SetShift(part.GetText(), hasMin, min, hasMax, max);
                    } else {
                        element.SetRotate(part.GetText(), hasMin, min, hasMax, max);
                    }
                } else if (shift && NameIs(part, L"Scale")) {
                    element.SetShiftScale(ScaleX(AttributeNumber(part, L"X")), ScaleY(AttributeNumber(part, L"Y")));
                } else if (NameIs(part, L"Nonlinearity")) {
                    ReadNonlinearity(element, part);
                }
                // "Failures" is read and has no effect.
            }
        }
        // "Select" and its "Value" and "Case" children have no effect.
    }
}

void CGaugeRenderer::ReadMouse(const CXmlNode& mouse) {
    // A failure stops the adding of actions for the rest of this "Mouse".
    bool failed = false;
    for (std::size_t i = 0; i < mouse.GetChildCount() && !failed; ++i) {
        const CXmlNode& outer = *mouse.GetChild(i);
        if (!NameIs(outer, L"Area")) continue;
        CKnobAction action;
        for (std::size_t k = 0; k < outer.GetChildCount() && !failed; ++k) {
            const CXmlNode& inner = *outer.GetChild(k);
            if (!NameIs(inner, L"Area")) continue;
            bool sideA = false;
            if (const CXmlNode* cursor = FindChild(inner, L"Cursor")) {
                const std::wstring* type = cursor->GetAttribute(L"Type");
                if (type == nullptr) {
                    failed = true;
                    break;
                }
                sideA = *type == L"UpArrow";
            }
            const CXmlNode* click = FindChild(inner, L"Click");
            if (click == nullptr) continue;
            std::wstring& script = sideA ? action.scriptA : action.scriptB;
            std::uint32_t& eventId = sideA ? action.eventA : action.eventB;
            if (const std::wstring* event = click->GetAttribute(L"Event")) {
                eventId = MapEvent(*event, 1023);
                script.clear();
            } else {
                eventId = 0;
                script = click->GetText();
            }
        }
        if (!failed) knobActions_.push_back(action);
    }
}

// ---------------------------------------------------------------------------
// The SimGauge vocabulary

bool CGaugeRenderer::ReadSimGaugeFormat(CGaugeVariables& variables, const CXmlNode& root) {
    for (std::size_t g = 0; g < root.GetChildCount(); ++g) {
        const CXmlNode& gauge = *root.GetChild(g);
        if (!NameIs(gauge, L"SimGauge.Gauge")) continue;
        for (std::size_t i = 0; i < gauge.GetChildCount(); ++i) {
            const CXmlNode& child = *gauge.GetChild(i);
            if (NameIs(child, L"Image")) {
                LoadBackground(imageFolder_ + L"\\" + AttributeText(child, L"Name"));
            } else if (NameIs(child, L"Element")) {
                auto element = std::make_unique<CGaugeElement>(&variables, background_.Width(),
                                                               background_.Height());
                ReadSimGaugeElement(*element, child);
                elements_.push_back(std::move(element));
            } else if (NameIs(child, L"MouseArea")) {
                ReadMouseArea(child);
            }
            // "FloatPosition", the gauge's own place, is not used.
        }
    }
    // As for the Gauge vocabulary: a gauge that has its background is drawn.
    return background_.IsLoaded();
}

void CGaugeRenderer::ReadSimGaugeElement(CGaugeElement& element, const CXmlNode& node) {
    auto readExpression = [&element](const CXmlNode& expression, bool shift) {
        const CXmlNode* minimum = FindChild(expression, L"Minimum");
        const CXmlNode* maximum = FindChild(expression, L"Maximum");
        const CXmlNode* script = FindChild(expression, L"Script");
        const std::wstring text = script != nullptr ? script->GetText() : std::wstring();
        const float min = minimum != nullptr ? static_cast<float>(ParseDouble(minimum->GetText())) : -1000000.0f;
        const float max = maximum != nullptr ? static_cast<float>(ParseDouble(maximum->GetText())) : 1000000.0f;
        if (shift) {
            element.SetShift(text, minimum != nullptr, min, maximum != nullptr, max);
        } else {
            element.SetRotate(text, minimum != nullptr, min, maximum != nullptr, max);
        }
    };
    for (std::size_t i = 0; i < node.GetChildCount(); ++i) {
        const CXmlNode& child = *node.GetChild(i);
        float x = 0.0f, y = 0.0f;
        if (NameIs(child, L"FloatPosition")) {
            ParsePair(child.GetText(), x, y);
            element.SetPosition(x, y);
        } else if (NameIs(child, L"Visibility")) {
            element.SetVisible(child.GetText());
        } else if (NameIs(child, L"MaskImage") || NameIs(child, L"Image")) {
            if (const CXmlNode* axis = FindChild(child, L"Axis")) ParsePair(axis->GetText(), x, y);
            if (NameIs(child, L"MaskImage")) {
                element.SetMaskImage(imageFolder_, AttributeText(child, L"Name"), x, y);
            } else {
                element.SetImage(imageFolder_, AttributeText(child, L"Name"), x, y, false);
            }
        } else if (NameIs(child, L"Shift")) {
            for (std::size_t k = 0; k < child.GetChildCount(); ++k) {
                const CXmlNode& part = *child.GetChild(k);
                if (NameIs(part, L"Scale")) {
                    ParsePair(part.GetText(), x, y);
                    element.SetShiftScale(x, y);
                } else if (NameIs(part, L"Expression")) {
                    readExpression(part, true);
                }
            }
        } else if (NameIs(child, L"Rotation")) {
            if (const CXmlNode* expression = FindChild(child, L"Expression")) readExpression(*expression, false);
        }
    }
}

void CGaugeRenderer::ReadMouseArea(const CXmlNode& mouseArea) {
    for (std::size_t i = 0; i < mouseArea.GetChildCount(); ++i) {
        const CXmlNode& outer = *mouseArea.GetChild(i);
        if (!NameIs(outer, L"MouseArea")) continue;
        CKnobAction action;
        for (std::size_t k = 0; k < outer.GetChildCount(); ++k) {
            const CXmlNode& side = *outer.GetChild(k);
            if (!NameIs(side, L"MouseArea")) continue;
            const CXmlNode* cursor = FindChild(side, L"CursorType");
            const bool sideA = cursor != nullptr && cursor->GetText() != L"DownArrow";
            const CXmlNode* click = FindChild(side, L"MouseClick");
            if (click == nullptr) continue;
            std::wstring& script = sideA ? action.scriptA : action.scriptB;
            std::uint32_t& eventId = sideA ? action.eventA : action.eventB;
            for (std::size_t c = 0; c < click->GetChildCount(); ++c) {
                const CXmlNode& part = *click->GetChild(c);
                if (NameIs(part, L"Script")) {
                    script = part.GetText();
                    eventId = 0;
                } else if (NameIs(part, L"KeyEvent")) {
                    eventId = MapEvent(part.GetText(), 1023);
                    script.clear();
                }
            }
        }
        knobActions_.push_back(action);
    }
}
