// Feeds arbitrary bytes to the .bmp reader: a refused file leaves an empty
// surface; an accepted one is within the size limits, has no bits above
// 0x00FFFFFF, and draws straight, turned and as a mask without a sanitizer
// finding a read or write outside a surface.
#include <cstdint>
#include <cstdlib>

#include "plugins/aviaro/gauge/bmp_reader.h"
#include "plugins/aviaro/gauge/raster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CRasterSurface image;
    const bool ok = DecodeBmp(data, size, image);
    const int w = image.Width(), h = image.Height();
    if (ok == image.IsEmpty() || w > kBmpMaxSide || h > kBmpMaxSide || std::int64_t(w) * h > kBmpMaxPixels) {
        std::abort();
    }
    for (int i = 0; i < w * h; ++i) {
        if ((image.Pixels()[i] >> 24) != 0) std::abort();
    }
    CRasterSurface target(64, 48);
    RasterCopy(target.View(), -3, 5, image, 2, -1, w, h, 0x010101u);
    RasterTransform m;
    m.Translate(-w / 2.0f, -h / 2.0f);
    m.Rotate(static_cast<float>(size % 360));
    m.Translate(32.0f, 24.0f);
    RasterCopyTransformed(target.View(), m, 0, 0, image, w, h, 0);
    CRasterRuns runs;
    runs.Build(image, 0x010101u);
    const RasterBounds all{0, 0, 64, 48};
    RasterCopy(target.View(), -5, 7, image, 0, 0, w, h, 0x010101u, RasterCopyMode::KeyedNotBlack, &all,
               nullptr, &runs);
    const RasterCover cover{&runs, -5, 7};
    RasterCopyTransformed(target.View(), m, 0, 0, image, w, h, 0, RasterCopyMode::Keyed, &all, nullptr,
                          nullptr, &cover);
    RasterCopy(target.View(), 1, -2, image, 0, 0, w, h, 0, RasterCopyMode::Keyed, &all, nullptr, nullptr,
               &cover);
    return 0;
}
