// The gauge engine's document model and renderer: a background bitmap, a list
// of elements (bitmaps that move, turn, hide and show as their scripts say),
// the two knobs' actions and the six soft buttons, read from a gauge file in
// either of its two vocabularies and drawn into the 320 × 240 frame of a gauge
// page, with the soft buttons' labels in the strip left of the gauge.
//
// Threads: loading and AddButton happen before the first frame; Render runs on
// one thread at a time (the page's render thread); OnKnob, OnSoftButton and
// HasButton run on the device library's thread and only read the lists, which
// do not change once loaded. Knob scripts write the variable store while
// Render's scripts read it; the store's values are atomics.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugins/aviaro/gauge/gauge_variables.h"
#include "plugins/aviaro/gauge/raster.h"
#include "plugins/aviaro/gauge/script_evaluator.h"

class CXmlNode;

// One bitmap of a gauge, as 32-bit top-down pixels, with its reference point.
class CGaugeImage {
public:
    // False, leaving the image empty, when the file cannot be read as a .bmp;
    // false, changing nothing, when a bitmap is already loaded.
    bool LoadFromBitmapFile(const std::wstring& path, float axisX, float axisY, bool alpha);

    bool IsLoaded() const { return loaded_; }
    int Width() const { return pixels_.Width(); }
    int Height() const { return pixels_.Height(); }
    float AxisX() const { return axisX_; }
    float AxisY() const { return axisY_; }
    bool Alpha() const { return alpha_; }
    const CRasterSurface& Pixels() const { return pixels_; }
    // Its pixels other than RGB(1,1,1), the key of backgrounds and masks.
    const CRasterRuns& OpaqueRuns() const { return runs_; }
    // Where its pixels other than black, the key of element images, lie.
    const RasterBounds& VisiblePart() const { return visible_; }
    // How far from its axis those pixels lie.
    const RasterRing& VisibleRing() const { return ring_; }
    // The file last asked for, loaded or not (for previews and diagnostics).
    const std::wstring& Path() const { return path_; }

private:
    CRasterSurface pixels_;
    CRasterRuns runs_;
    RasterBounds visible_;
    RasterRing ring_;
    std::wstring path_;
    bool loaded_ = false;
    float axisX_ = 0.0f;
    float axisY_ = 0.0f;
    bool alpha_ = false;
};

// A point of a nonlinearity table: the script value, the image position it
// maps to (shift) and the direction (rotation), in degrees clockwise from up.
struct CNonlinearityEntry {
    float value = 0.0f;
    float x = 0.0f;
    float y = 0.0f;
    float angle = 0.0f;
};

// A script with its clamp.
struct CGaugeValue {
    bool has = false;
    std::wstring text;
    CScript script;
    bool hasMinimum = false;
    float minimum = -1000000.0f;
    bool hasMaximum = false;
    float maximum = 1000000.0f;
};

// One drawn layer of a gauge.
class CGaugeElement {
public:
    // width and height: the element's drawing surface, the background's size
    // when the element was read.
    CGaugeElement(CGaugeVariables* variables, int width, int height);

    // Truncated toward zero; a value that is not a number counts as 0, and one
    // beyond ±100,000,000 pixels as that limit.
    void SetPosition(float x, float y);
    // Not registered with the store: a simulator variable that only a
    // visibility script reads is never requested and reads 0.0.
    void SetVisible(const std::wstring& script);
    // The flag is set even when the bitmap fails to load. The path is folder,
    // a backslash and name.
    void SetMaskImage(const std::wstring& folder, const std::wstring& name, float axisX, float axisY);
    void SetImage(const std::wstring& folder, const std::wstring& name, float axisX, float axisY,
                  bool alpha);
    // The same with a full path (the built-in test gauge).
    void SetMaskImagePath(const std::wstring& path, float axisX, float axisY);
    void SetImagePath(const std::wstring& path, float axisX, float axisY, bool alpha);
    // Both register the script's simulator variables with the store.
    void SetShift(const std::wstring& script, bool hasMinimum, float minimum, bool hasMaximum,
                  float maximum);
    void SetShiftScale(float x, float y);
    void SetRotate(const std::wstring& script, bool hasMinimum, float minimum, bool hasMaximum,
                   float maximum);
    // A point's angle is its direction seen from the element's position now.
    void AddNonlinearityXY(float value, float x, float y);
    void AddNonlinearityAngle(float value, float degrees);

    // The frame's values, from the scripts (each call evaluates them; one
    // thread at a time). The angle is in degrees, 0 to 360, counter-clockwise;
    // not a number when the scripts' values give none.
    bool IsVisible() const;
    float RotationAngle() const;
    void ShiftOffsets(float& sx, float& sy) const;

    int PositionX() const { return positionX_; }
    int PositionY() const { return positionY_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool HasMask() const { return hasMask_; }
    bool HasImage() const { return hasImage_; }
    const CGaugeImage& Mask() const { return mask_; }
    const CGaugeImage& Image() const { return image_; }
    const CGaugeValue& Visibility() const { return visibility_; }
    const CGaugeValue& Shift() const { return shift_; }
    const CGaugeValue& Rotation() const { return rotation_; }
    float ShiftScaleX() const { return shiftScaleX_; }
    float ShiftScaleY() const { return shiftScaleY_; }
    const std::vector<CNonlinearityEntry>& Nonlinearity() const { return table_; }

private:
    float Evaluate(const CGaugeValue& value) const;
    // The table's segment enclosing v: (first, last) when none does.
    void FindSegment(float v, const CNonlinearityEntry*& p, const CNonlinearityEntry*& q) const;
    void SetValue(CGaugeValue& value, const std::wstring& script, bool hasMinimum, float minimum,
                  bool hasMaximum, float maximum);

    CGaugeVariables* variables_;
    int positionX_ = 0;
    int positionY_ = 0;
    int width_;
    int height_;
    CGaugeValue visibility_;
    bool hasMask_ = false;
    CGaugeImage mask_;
    bool hasImage_ = false;
    CGaugeImage image_;
    CGaugeValue shift_;
    float shiftScaleX_ = 1.0f;
    float shiftScaleY_ = 1.0f;
    CGaugeValue rotation_;
    std::vector<CNonlinearityEntry> table_;
    // Reused by every evaluation: its stack grows once, on the first frame.
    mutable CScriptEvaluator evaluator_;
};

// A knob's two actions: side A for Up and Left, side B for Down and Right.
// A side with an event id transmits it; otherwise its script runs.
struct CKnobAction {
    std::wstring scriptA;
    std::uint32_t eventA = 0;
    std::wstring scriptB;
    std::uint32_t eventB = 0;
};

// One of the six buttons beside the screen, defined by the page.
struct CSoftButton {
    int id = 0;
    std::wstring label;
    std::wstring eventName;
    std::uint32_t eventId = 0;
    int weight = 400;
    std::uint32_t colour = 0xFFFFFF;  // COLORREF
};

class CGaugeRenderer {
public:
    static constexpr int kFrameWidth = 320;
    static constexpr int kFrameHeight = 240;
    static constexpr int kLabelRowHeight = 40;

    // pageId: the page's id, the notification group of every client event
    // the gauge maps. Read when an event is mapped; the page outlives us.
    explicit CGaugeRenderer(const std::uint32_t* pageId);
    ~CGaugeRenderer();
    CGaugeRenderer(const CGaugeRenderer&) = delete;
    CGaugeRenderer& operator=(const CGaugeRenderer&) = delete;

    // Reads a gauge file and appends what it holds. True when a background
    // is loaded afterwards: false leaves room for the test gauge.
    bool LoadFromFile(CGaugeVariables& variables, const std::wstring& path);
    // Appends the built-in test gauge, with its bitmaps from folder (a
    // trailing backslash is added when missing).
    void LoadDebugGauge(CGaugeVariables& variables, const std::wstring& folder);
    // The same from the device library's "1024" folder: beside the library
    // the registry names when its background is there, else the library's
    // usual installation folder.
    void LoadDebugGauge(CGaugeVariables& variables);
    static std::wstring DebugGaugeFolder();

    std::wstring GetGaugeName() const { return gaugeName_; }

    // Draws one frame: the background and elements at the right edge, the
    // labels to the left. What nothing covers keeps the previous frame.
    void Render(const RasterView& frame);

    // The first definition of an id wins. The event is mapped at once.
    void AddButton(int id, const std::wstring& label, const std::wstring& eventName, int weight,
                   std::uint32_t colour);
    // knob 0 is Up/Down, 1 is Left/Right; side A is Up or Left.
    void OnKnob(int knob, bool sideA, std::uint32_t groupId, CGaugeVariables& variables) const;
    void OnSoftButton(int id) const;
    bool HasButton(int id) const;

    const CGaugeImage& Background() const { return background_; }
    const std::vector<std::unique_ptr<CGaugeElement>>& Elements() const { return elements_; }
    // Every bitmap the gauge names: the background, then each element's
    // image and mask (those it has).
    template <typename Fn>
    void ForEachImage(Fn&& fn) const {
        fn(background_);
        for (const auto& e : elements_) {
            if (e->HasImage()) fn(e->Image());
            if (e->HasMask()) fn(e->Mask());
        }
    }
    const std::vector<CKnobAction>& KnobActions() const { return knobActions_; }
    const std::vector<CSoftButton>& Buttons() const { return buttons_; }
    int DrawWidth() const { return drawWidth_; }
    int DrawHeight() const { return drawHeight_; }
    int DesignWidth() const { return designWidth_; }
    int DesignHeight() const { return designHeight_; }
    const std::wstring& ImageFolder() const { return imageFolder_; }

private:
    struct Label;

    // The two vocabularies.
    bool ReadGaugeFormat(CGaugeVariables& variables, const CXmlNode& root);
    bool ReadSimGaugeFormat(CGaugeVariables& variables, const CXmlNode& root);
    void ReadGaugeElement(CGaugeElement& element, const CXmlNode& node);
    void ReadSimGaugeElement(CGaugeElement& element, const CXmlNode& node);
    void ReadMouse(const CXmlNode& mouse);
    void ReadMouseArea(const CXmlNode& mouseArea);
    void ReadNonlinearity(CGaugeElement& element, const CXmlNode& node);
    void LoadBackground(const std::wstring& path);
    void ParseImageSizes(const std::wstring& text);
    float ScaleX(double x) const;
    float ScaleY(double y) const;
    std::uint32_t MapEvent(const std::wstring& name, std::size_t maxBytes) const;

    void DrawElement(const CGaugeElement& element, const RasterView& frame, int x0, int y0);
    void DrawLabel(std::size_t index, const RasterView& frame, int x0);

    const std::uint32_t* pageId_;
    CGaugeImage background_;
    std::vector<std::unique_ptr<CGaugeElement>> elements_;
    std::vector<CKnobAction> knobActions_;
    std::vector<CSoftButton> buttons_;
    int drawWidth_ = 0;
    int drawHeight_ = 0;
    bool drawSizeGiven_ = false;
    int designWidth_ = 0;
    int designHeight_ = 0;
    std::wstring imageFolder_;
    std::wstring gaugeName_;

    // Render's own, reused from frame to frame (render thread only): one
    // rendered label per button.
    std::vector<std::unique_ptr<Label>> labels_;
};
