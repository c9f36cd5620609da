#include <windows.h>

#include <cstring>

#include "platform/text_render.h"

namespace av::platform {

bool RenderLabelMask(const std::wstring& text, int weight, int width, int height,
                     std::vector<std::uint8_t>& mask) {
    mask.assign(static_cast<std::size_t>(width > 0 ? width : 0) * (height > 0 ? height : 0), 0);
    if (width <= 0 || height <= 0) return true;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return false;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        DeleteDC(dc);
        return false;
    }
    std::memset(bits, 0, static_cast<std::size_t>(width) * height * 4);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HFONT font = CreateFontW(18, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, L"Arial");
    bool ok = font != nullptr;
    if (ok) {
        HGDIOBJ oldFont = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        RECT rect{0, 0, width, height};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
                  DT_SINGLELINE | DT_VCENTER);
        GdiFlush();
        SelectObject(dc, oldFont);
        DeleteObject(font);
        const std::uint32_t* pixels = static_cast<const std::uint32_t*>(bits);
        for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = (pixels[i] & 0xFFFFFFu) != 0;
    }
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return ok;
}

}  // namespace av::platform
