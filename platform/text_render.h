// The soft buttons' labels: one line of text, Arial at a cell height of 18
// pixels in the given weight, not antialiased, left-aligned and centred
// vertically in a box, as a coverage mask the gauge renderer paints in the
// button's colour. GDI draws it on Windows; elsewhere FreeType with Liberation
// Sans, whose metrics match Arial's (the glyphs' pixels differ a little, so
// the label strip is the one part of a frame that differs between builds).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace av::platform {

// mask: width × height bytes, top row first, 1 where the text covers a pixel
// and 0 elsewhere; nothing is drawn outside the box. False (mask all 0) when
// no font could be had.
bool RenderLabelMask(const std::wstring& text, int weight, int width, int height,
                     std::vector<std::uint8_t>& mask);

}  // namespace av::platform
