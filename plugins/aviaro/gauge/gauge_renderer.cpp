#include "plugins/aviaro/gauge/gauge_renderer.h"

#include <algorithm>
#include <cmath>

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/text_render.h"
#include "plugins/aviaro/gauge/bmp_reader.h"
#include "plugins/aviaro/host/client_events.h"
#include "plugins/aviaro/host/simconnect_library.h"
#include "plugins/aviaro/host/trace_log.h"

namespace {

constexpr float kVisibleAbove = 0.1f;        // 0.10000000149011612
constexpr RasterPixel kBlack = 0x000000u;
constexpr RasterPixel kMaskKey = 0x010101u;  // RGB(1,1,1)
// Coordinates beyond this many pixels are held at it: far off any surface,
// and three of them still add up without overflow.
constexpr double kCoordinateLimit = 100000000.0;

// Truncation toward zero to a pixel coordinate; not a number counts as 0.
int Trunc(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::clamp(std::trunc(v), -kCoordinateLimit, kCoordinateLimit));
}

// Into 0..360: 360 is added while below 0, then taken off while above 360,
// each step rounded to float. Large values are brought near first.
float WrapAngle(float angle) {
    if (!std::isfinite(angle)) return std::nanf("");
    if (std::fabs(angle) > 36000.0f) angle = static_cast<float>(std::fmod(double(angle), 360.0));
    while (angle < 0.0f) angle = angle + 360.0f;
    while (angle > 360.0f) angle = angle - 360.0f;
    return angle;
}

float Clamp(const CGaugeValue& value, float v) {
    if (value.hasMinimum && v < value.minimum) v = value.minimum;
    if (value.hasMaximum && v > value.maximum) v = value.maximum;
    return v;
}

}  // namespace

// ---------------------------------------------------------------------------
// CGaugeImage

bool CGaugeImage::LoadFromBitmapFile(const std::wstring& path, float axisX, float axisY,
                                     bool alpha) {
    if (loaded_) return false;
    path_ = path;
    if (!LoadBmpFile(path, pixels_)) return false;
    runs_.Build(pixels_, kMaskKey);
    visible_ = RasterOpaqueBounds(pixels_, kBlack);
    ring_ = RasterRingOf(pixels_, kBlack, axisX, axisY);
    loaded_ = true;
    axisX_ = axisX;
    axisY_ = axisY;
    alpha_ = alpha;
    return true;
}

// ---------------------------------------------------------------------------
// CGaugeElement

CGaugeElement::CGaugeElement(CGaugeVariables* variables, int width, int height)
    : variables_(variables), width_(width), height_(height), evaluator_(variables) {}

void CGaugeElement::SetPosition(float x, float y) {
    positionX_ = Trunc(x);
    positionY_ = Trunc(y);
}

void CGaugeElement::SetVisible(const std::wstring& script) {
    visibility_.has = true;
    visibility_.text = script;
    visibility_.script.Prepare(variables_, script);
}

void CGaugeElement::SetMaskImage(const std::wstring& folder, const std::wstring& name, float axisX,
                                 float axisY) {
    SetMaskImagePath(folder + L"\\" + name, axisX, axisY);
}

void CGaugeElement::SetImage(const std::wstring& folder, const std::wstring& name, float axisX,
                             float axisY, bool alpha) {
    SetImagePath(folder + L"\\" + name, axisX, axisY, alpha);
}

void CGaugeElement::SetMaskImagePath(const std::wstring& path, float axisX, float axisY) {
    hasMask_ = true;
    mask_.LoadFromBitmapFile(path, axisX, axisY, false);
}

void CGaugeElement::SetImagePath(const std::wstring& path, float axisX, float axisY, bool alpha) {
    hasImage_ = true;
    image_.LoadFromBitmapFile(path, axisX, axisY, alpha);
}

void CGaugeElement::SetValue(CGaugeValue& value, const std::wstring& script, bool hasMinimum,
                             float minimum, bool hasMaximum, float maximum) {
    value.has = true;
    value.text = script;
    value.hasMinimum = hasMinimum;
    value.minimum = minimum;
    value.hasMaximum = hasMaximum;
    value.maximum = maximum;
    if (variables_ != nullptr) variables_->RegisterScript(script.c_str());
    value.script.Prepare(variables_, script);
}

void CGaugeElement::SetShift(const std::wstring& script, bool hasMinimum, float minimum,
                             bool hasMaximum, float maximum) {
    SetValue(shift_, script, hasMinimum, minimum, hasMaximum, maximum);
}

void CGaugeElement::SetShiftScale(float x, float y) {
    shiftScaleX_ = x;
    shiftScaleY_ = y;
}

void CGaugeElement::SetRotate(const std::wstring& script, bool hasMinimum, float minimum,
                              bool hasMaximum, float maximum) {
    SetValue(rotation_, script, hasMinimum, minimum, hasMaximum, maximum);
}

void CGaugeElement::AddNonlinearityXY(float value, float x, float y) {
    const float dx = static_cast<float>(positionX_) - x;
    const float dy = static_cast<float>(positionY_) - y;
    // The point's direction seen from the position, clockwise from straight
    // up (screen y grows downward). A point on the position itself points up.
    float a = 0.0f;
    if (dx != 0.0f || dy != 0.0f) {
        a = static_cast<float>(std::atan(double(std::fabs(dx)) / double(std::fabs(dy))) * 180.0 / kGaugePi);
    }
    float angle;
    if (dy >= 0.0f && dx <= 0.0f) {
        angle = a;
    } else if (dy < 0.0f && dx <= 0.0f) {
        angle = 180.0f - a;
    } else if (dy >= 0.0f) {
        angle = 360.0f - a;
    } else {
        angle = 180.0f + a;
    }
    table_.push_back(CNonlinearityEntry{value, x, y, angle});
}

void CGaugeElement::AddNonlinearityAngle(float value, float degrees) {
    table_.push_back(CNonlinearityEntry{value, 0.0f, 0.0f, degrees});
}

float CGaugeElement::Evaluate(const CGaugeValue& value) const {
    return evaluator_.Execute(value.script);
}

bool CGaugeElement::IsVisible() const {
    if (!visibility_.has) return true;
    return Evaluate(visibility_) > kVisibleAbove;
}

void CGaugeElement::FindSegment(float v, const CNonlinearityEntry*& p,
                                const CNonlinearityEntry*& q) const {
    p = &table_.front();
    for (std::size_t i = 1; i < table_.size(); ++i) {
        q = &table_[i];
        if (p->value <= v && q->value >= v) return;
        p = q;
    }
    p = &table_.front();
    q = &table_.back();
}

float CGaugeElement::RotationAngle() const {
    if (!rotation_.has) return 0.0f;
    const float v = Clamp(rotation_, Evaluate(rotation_));
    if (table_.size() < 2) return WrapAngle(static_cast<float>(-(double(v) * 180.0 / kGaugePi)));
    const CNonlinearityEntry* p;
    const CNonlinearityEntry* q;
    FindSegment(v, p, q);
    const float pa = p->angle;
    float qa = q->angle;
    if (pa > qa) qa = qa + 360.0f;
    const double t = (double(v) - p->value) / (double(q->value) - p->value);
    const float direction = static_cast<float>(pa + (double(qa) - pa) * t);
    return WrapAngle(90.0f - direction);
}

void CGaugeElement::ShiftOffsets(float& sx, float& sy) const {
    sx = sy = 0.0f;
    if (!shift_.has) return;
    const float v = Clamp(shift_, Evaluate(shift_));
    if (table_.size() < 2) {
        sx = shiftScaleX_ * v;
        sy = shiftScaleY_ * v;
        return;
    }
    const CNonlinearityEntry* p;
    const CNonlinearityEntry* q;
    FindSegment(v, p, q);
    const double span = double(q->value) - p->value;
    sx = static_cast<float>(p->x + (double(q->x) - p->x) * (double(v) - p->value) / span);
    sy = static_cast<float>(p->y + (double(v) - p->value) * (double(q->y) - p->y) / span);
}

// ---------------------------------------------------------------------------
// CGaugeRenderer: construction, the test gauge

struct CGaugeRenderer::Label {
    int width = -1;  // the mask's width: the strip's, less the left margin
    // The text's pixels as runs along rows: row, first column, end column.
    struct Run {
        int y, x0, x1;
    };
    std::vector<Run> runs;
};

CGaugeRenderer::CGaugeRenderer(const std::uint32_t* pageId) : pageId_(pageId) {}

CGaugeRenderer::~CGaugeRenderer() = default;

std::wstring CGaugeRenderer::DebugGaugeFolder() {
    // Beside the library the registry names first; a library kept elsewhere
    // than its usual folder (a 32-bit one under "Program Files (x86)") may
    // have no bitmaps beside it, and then the usual folder is tried.
    std::wstring library;
    if (av::platform::ReadRegistryString(av::platform::RegistryRoot::LocalMachine,
                                         L"SOFTWARE\\Orlend\\Lumiray", L"LumirayX86", library)) {
        const std::size_t slash = library.find_last_of(L"\\/");
        if (slash != std::wstring::npos) {
            const std::wstring folder = library.substr(0, slash + 1) + L"1024" + library[slash];
            if (av::platform::FileExists(folder + L"Airspeed_Background.bmp")) return folder;
        }
    }
    return L"C:\\Program Files\\Orlend\\Lumiray\\1024\\";
}

void CGaugeRenderer::LoadDebugGauge(CGaugeVariables& variables) {
    LoadDebugGauge(variables, DebugGaugeFolder());
}

void CGaugeRenderer::LoadDebugGauge(CGaugeVariables& variables, const std::wstring& folder) {
    std::wstring base = folder;
    if (base.empty() || (base.back() != L'\\' && base.back() != L'/')) base += L'\\';
    const std::wstring background = base + L"Airspeed_Background.bmp";
    LoadBackground(background);
    // The test gauge's elements are its background's size, whatever loaded.
    const int w = 153, h = 153;

    auto element = std::make_unique<CGaugeElement>(&variables, w, h);
    element->SetPosition(0.0f, 0.0f);
    element->SetMaskImagePath(background, 76.5f, 78.09375f);
    element->SetImagePath(base + L"Airspeed_TAS.bmp", 66.9375f, 58.96875f, false);
    element->SetRotate(L"(G:Var1) dgrd 2 * ", false, -1000000.0f, false, 1000000.0f);
    elements_.push_back(std::move(element));

    element = std::make_unique<CGaugeElement>(&variables, w, h);
    element->SetPosition(0.0f, 0.0f);
    element->SetMaskImagePath(background, 71.71875f, 22.3125f);
    element->SetImagePath(base + L"Airspeed_INHG.bmp", 204.703125f, 1.6363f, false);
    element->SetShift(L"(G:Var1) dgrd 2 * ", false, -1000000.0f, false, 1000000.0f);
    element->SetShiftScale(50.0f, 0.0f);
    elements_.push_back(std::move(element));

    element = std::make_unique<CGaugeElement>(&variables, w, h);
    element->SetPosition(73.3125f, 76.5f);
    element->SetImagePath(base + L"Airspeed_Needle.bmp", 24.117647f, 6.5f, false);
    element->SetRotate(L"(A:Airspeed select indicated or true,knots)", true, 0.0f, true, 260.0f);
    static const float kNeedle[][3] = {
        {0, 73.3125f, 15.9375f},     {40, 95.625f, 17.53125f},    {50, 111.5625f, 27.09375f},
        {60, 117.9375f, 31.875f},    {80, 135.46875f, 62.15625f}, {130, 98.8125f, 133.875f},
        {160, 51.0f, 122.71875f},    {190, 27.09375f, 94.03125f}, {200, 17.53125f, 82.875f},
        {260, 44.625f, 23.90625f}};
    for (const auto& point : kNeedle) element->AddNonlinearityXY(point[0], point[1], point[2]);
    elements_.push_back(std::move(element));

    element = std::make_unique<CGaugeElement>(&variables, w, h);
    element->SetPosition(122.71875f, 127.5f);
    element->SetImagePath(base + L"Airspeed_Knob.bmp", 13.546875f, 14.34375f, false);
    element->SetRotate(L"(G:Var1) dgrd ", false, -1000000.0f, false, 1000000.0f);
    elements_.push_back(std::move(element));

    CKnobAction knob;
    knob.scriptA = L"(G:Var1) 1 - 30 /-/ max d (&gt;G:Var1)";
    knob.scriptB = L"(G:Var1) 1 + 30 min d (&gt;G:Var1)";
    knobActions_.push_back(knob);
}

void CGaugeRenderer::LoadBackground(const std::wstring& path) {
    if (!background_.LoadFromBitmapFile(path, 0.0f, 0.0f, false)) return;
    // Until a file says otherwise the gauge is drawn at its background's size.
    if (!drawSizeGiven_) {
        drawWidth_ = background_.Width();
        drawHeight_ = background_.Height();
    }
}

// ---------------------------------------------------------------------------
// Drawing

void CGaugeRenderer::Render(const RasterView& frame) {
    // 64-bit first: a draw size of INT_MIN must not overflow.
    const int x0 = Trunc(static_cast<double>(kFrameWidth) - drawWidth_);
    const int y0 = Trunc(static_cast<double>((static_cast<long long>(kFrameHeight) - drawHeight_) / 2));
    if (background_.IsLoaded()) {
        RasterCopy(frame, x0, y0, background_.Pixels(), 0, 0, background_.Width(),
                   background_.Height(), kMaskKey, RasterCopyMode::Keyed, nullptr, nullptr,
                   &background_.OpaqueRuns());
    }
    for (const auto& element : elements_) DrawElement(*element, frame, x0, y0);
    if (labels_.size() < buttons_.size()) labels_.resize(buttons_.size());
    for (std::size_t i = 0; i < buttons_.size(); ++i) DrawLabel(i, frame, x0);
}

void CGaugeRenderer::DrawElement(const CGaugeElement& element, const RasterView& frame, int x0,
                                 int y0) {
    if (!element.IsVisible()) return;
    const float angle = element.RotationAngle();
    float sx, sy;
    element.ShiftOffsets(sx, sy);

    // The element's surface is its rectangle at the origin, element pixel
    // (x, y) at frame pixel (x0 + x, y0 + y), and its black is transparent:
    // what lands on it goes straight onto the frame, clipped to it.
    const long long right = static_cast<long long>(x0) + element.Width();
    const long long bottom = static_cast<long long>(y0) + element.Height();
    const RasterBounds clip{x0, y0, static_cast<int>(std::min<long long>(right, kFrameWidth)),
                            static_cast<int>(std::min<long long>(bottom, kFrameHeight))};
    if (clip.IsEmpty()) return;
    const CGaugeImage& image = element.Image();
    const CGaugeImage& mask = element.Mask();
    const bool masked = element.HasMask();
    const int px = element.PositionX(), py = element.PositionY();

    // The mask lies over the image with its top-left at the position: its
    // pixels other than RGB(1,1,1) hide the image, and of those only the
    // ones not black show. So the mask goes onto the frame as it is, and the
    // image only into the window the mask leaves.
    RasterCover cover;
    if (masked && mask.IsLoaded()) {
        cover = RasterCover{&mask.OpaqueRuns(), x0 + px, y0 + py};
        RasterCopy(frame, x0 + px, y0 + py, mask.Pixels(), 0, 0, mask.Width(), mask.Height(),
                   kMaskKey, RasterCopyMode::KeyedNotBlack, &clip, nullptr, &mask.OpaqueRuns());
    }
    // An alpha image would leave a black, so transparent, hole: nothing.
    if (!image.IsLoaded() || image.Alpha() || !std::isfinite(sx) || !std::isfinite(sy)) return;
    if (element.Rotation().has) {
        // The image's axis, moved by -(sx, sy) in the image's own frame, is
        // turned by the angle and lands on the mask's axis point.
        if (!std::isfinite(angle)) return;
        RasterTransform m;
        m.Translate(-sx, -sy);
        m.Translate(-image.AxisX(), -image.AxisY());
        m.Rotate(angle);
        const float maskAxisX = masked ? mask.AxisX() : 0.0f;
        const float maskAxisY = masked ? mask.AxisY() : 0.0f;
        m.Translate(maskAxisX + static_cast<float>(px), maskAxisY + static_cast<float>(py));
        const int w = masked ? std::min(image.Width(), mask.Width()) : image.Width();
        const int h = masked ? std::min(image.Height(), mask.Height()) : image.Height();
        RasterCopyTransformed(frame, m, x0, y0, image.Pixels(), w, h, kBlack, RasterCopyMode::Keyed,
                              &clip, nullptr, &image.VisiblePart(), &cover, &image.VisibleRing());
    } else if (masked) {
        // The image scrolls under the mask's window opposite to the shift.
        const int w = std::min(image.Width(), mask.Width());
        const int h = std::min(image.Height(), mask.Height());
        RasterCopy(frame, x0 + px - Trunc(image.AxisX()), y0 + py - Trunc(image.AxisY()),
                   image.Pixels(), Trunc(sx) - Trunc(mask.AxisX()), Trunc(sy) - Trunc(mask.AxisY()),
                   w, h, kBlack, RasterCopyMode::Keyed, &clip, nullptr, nullptr, &cover);
    } else {
        // The top-left corner, not the axis, sits at the position.
        RasterCopy(frame, x0 + Trunc(sx) + px, y0 + Trunc(sy) + py, image.Pixels(), 0, 0,
                   image.Width(), image.Height(), kBlack, RasterCopyMode::Keyed, &clip);
    }
}

void CGaugeRenderer::DrawLabel(std::size_t index, const RasterView& frame, int x0) {
    const CSoftButton& button = buttons_[index];
    if (button.id < 1 || button.id > 6) return;  // its rectangle is empty
    const int left = 2, top = kLabelRowHeight * (button.id - 1);
    const int right = std::min(x0, kFrameWidth);
    const int width = right - left;
    if (width <= 0) return;
    if (!labels_[index]) labels_[index] = std::make_unique<Label>();
    Label& label = *labels_[index];
    if (label.width != width) {
        std::vector<std::uint8_t> mask;
        av::platform::RenderLabelMask(button.label, button.weight, width, kLabelRowHeight, mask);
        label.runs.clear();
        for (int y = 0; y < kLabelRowHeight; ++y) {
            const std::uint8_t* row = mask.data() + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width;) {
                if (row[x] == 0) {
                    ++x;
                    continue;
                }
                const int start = x;
                while (x < width && row[x] != 0) ++x;
                label.runs.push_back(Label::Run{y, start, x});
            }
        }
        label.width = width;
    }
    if (frame.bits == nullptr || (frame.bytesPerPixel != 3 && frame.bytesPerPixel != 4)) return;
    const RasterPixel colour = RasterPixelFromColorRef(button.colour);
    const std::uint8_t b = static_cast<std::uint8_t>(colour), g = static_cast<std::uint8_t>(colour >> 8),
                       r = static_cast<std::uint8_t>(colour >> 16);
    for (const Label::Run& run : label.runs) {
        const int y = top + run.y;
        if (y >= frame.height) break;
        const int end = std::min(left + run.x1, frame.width);
        std::uint8_t* out = frame.bits + y * frame.stride;
        for (int x = left + run.x0; x < end; ++x) {
            std::uint8_t* p = out + x * frame.bytesPerPixel;
            p[0] = b, p[1] = g, p[2] = r;
            if (frame.bytesPerPixel == 4) p[3] = 0;
        }
    }
}

// ---------------------------------------------------------------------------
// Knobs and soft buttons

std::uint32_t CGaugeRenderer::MapEvent(const std::wstring& name, std::size_t maxBytes) const {
    std::string ansi = av::platform::ToAnsi(name);
    if (ansi.size() > maxBytes) ansi.resize(maxBytes);
    return MapClientEvent(ansi.c_str(), pageId_ != nullptr ? *pageId_ : 0);
}

void CGaugeRenderer::AddButton(int id, const std::wstring& label, const std::wstring& eventName,
                               int weight, std::uint32_t colour) {
    if (HasButton(id)) return;  // the first definition wins
    CSoftButton button;
    button.id = id;
    button.label = label;
    button.eventName = eventName;
    button.eventId = MapEvent(eventName, 259);
    button.weight = weight;
    button.colour = colour;
    buttons_.push_back(std::move(button));
}

void CGaugeRenderer::OnKnob(int knob, bool sideA, std::uint32_t groupId,
                            CGaugeVariables& variables) const {
    if (knob < 0 || static_cast<std::size_t>(knob) >= knobActions_.size()) return;
    const CKnobAction& action = knobActions_[static_cast<std::size_t>(knob)];
    const std::uint32_t eventId = sideA ? action.eventA : action.eventB;
    const std::wstring& script = sideA ? action.scriptA : action.scriptB;
    if (eventId != 0) {
        // Sent by the thread that runs the dispatch, never from here.
        CClientEventQueue::Instance().Post(simconnect::kObjectIdUser, eventId, 0, groupId, 0,
                                           L"SimConnect_TransmitClientEvent");
        CClientEventQueue::Instance().Flush();
    } else if (!script.empty()) {
        CScriptEvaluator evaluator(&variables);
        evaluator.Execute(script.c_str(), script.size());
    }
}

void CGaugeRenderer::OnSoftButton(int id) const {
    for (const CSoftButton& button : buttons_) {
        if (button.id != id) continue;
        if (button.eventId == 0) {
            // Its event never mapped: the simulator has no event 0 to receive.
            CTraceLog::Instance().Trace(L"CGaugeRenderer::OnSoftButton - no client event");
            return;
        }
        CClientEventQueue::Instance().Post(simconnect::kObjectIdUser, button.eventId, 0,
                                           pageId_ != nullptr ? *pageId_ : 0, 0,
                                           L"SimConnect_TransmitClientEvent");
        CClientEventQueue::Instance().Flush();
        return;
    }
}

bool CGaugeRenderer::HasButton(int id) const {
    return std::any_of(buttons_.begin(), buttons_.end(),
                       [id](const CSoftButton& b) { return b.id == id; });
}
