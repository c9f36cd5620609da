#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cstdlib>
#include <string>

#include "platform/text_render.h"

namespace av::platform {
namespace {

constexpr int kCellHeight = 18;  // Arial's character cell at the labels' font height

// Liberation Sans from the folder AVIARO_FONT_DIR names, else where Debian's
// fonts-liberation2 puts it (or the older fonts-liberation).
FT_Face OpenFace(FT_Library library, bool bold) {
    const char* file = bold ? "LiberationSans-Bold.ttf" : "LiberationSans-Regular.ttf";
    std::string folders[3] = {"", "/usr/share/fonts/truetype/liberation2/",
                              "/usr/share/fonts/truetype/liberation/"};
    if (const char* dir = std::getenv("AVIARO_FONT_DIR"); dir != nullptr && *dir != '\0') {
        folders[0] = std::string(dir) + "/";
    }
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        FT_Face face = nullptr;
        if (FT_New_Face(library, (folder + file).c_str(), 0, &face) == 0) return face;
    }
    return nullptr;
}

}  // namespace

bool RenderLabelMask(const std::wstring& text, int weight, int width, int height,
                     std::vector<std::uint8_t>& mask) {
    mask.assign(static_cast<std::size_t>(width > 0 ? width : 0) * (height > 0 ? height : 0), 0);
    if (width <= 0 || height <= 0) return true;
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return false;
    // GDI gives a weight from 600 up the bold face.
    FT_Face face = OpenFace(library, weight >= 600);
    if (face == nullptr) {
        FT_Done_FreeType(library);
        return false;
    }
    // A positive font height is the cell height, ascent plus descent as the
    // font's Windows metrics give them: the em is that much smaller.
    long ascent = face->ascender, descent = -face->descender;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    }
    const long cell = ascent + descent > 0 ? ascent + descent : face->units_per_EM;
    const long em26 = (kCellHeight * 64L * face->units_per_EM + cell / 2) / cell;
    FT_Set_Char_Size(face, 0, em26, 72, 72);
    const int baseline = (height - kCellHeight) / 2 + static_cast<int>((ascent * kCellHeight + cell / 2) / cell);

    // DrawText's prefix rule, as GDI applies it here: "&&" is one "&", and
    // a single "&" is dropped (GDI would underline the next character).
    std::wstring shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&') {
            if (i + 1 < text.size()) shown += text[++i];
            continue;
        }
        shown += text[i];
    }
    long pen = 0;
    for (wchar_t ch : shown) {
        if (pen >= width) break;
        if (FT_Load_Char(face, static_cast<FT_ULong>(ch), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                const long y = baseline - slot->bitmap_top + static_cast<long>(row);
                if (y < 0 || y >= height) continue;
                const unsigned char* bits = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
                for (unsigned col = 0; col < bitmap.width; ++col) {
                    const long x = pen + slot->bitmap_left + static_cast<long>(col);
                    if (x < 0 || x >= width) continue;
                    if ((bits[col >> 3] >> (7 - (col & 7))) & 1) {
                        mask[static_cast<std::size_t>(y) * width + x] = 1;
                    }
                }
            }
        }
        pen += (slot->advance.x + 32) >> 6;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return true;
}

}  // namespace av::platform
