// Feeds arbitrary bytes to the .bmp reader. The promises checked: a refused
// file leaves an empty surface; an accepted one is within the size limits,
// decodes the same twice, and draws (straight, turned and as a mask) without
// a sanitizer finding a read or write outside a surface.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "plugins/aviaro/gauge/bmp_reader.h"
#include "plugins/aviaro/gauge/raster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CRasterSurface image;
    const bool ok = DecodeBmp(data, size, image);
    if (!ok) {
        if (!image.IsEmpty()) std::abort();
        return 0;
    }
    if (image.Width() > kBmpMaxSide || image.Height() > kBmpMaxSide ||
        static_cast<std::int64_t>(image.Width()) * image.Height() > kBmpMaxPixels) {
        std::abort();
    }
    CRasterSurface again;
    if (!DecodeBmp(data, size, again) || again.Width() != image.Width() ||
        again.Height() != image.Height()) {
        std::abort();
    }
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            if (image.At(x, y) != again.At(x, y) || (image.At(x, y) >> 24) != 0) std::abort();
        }
    }
    CRasterSurface target(64, 48);
    RasterCopy(target.View(), -3, 5, image, 2, -1, image.Width(), image.Height(), 0x010101u);
    RasterTransform m;
    m.Translate(-image.Width() / 2.0f, -image.Height() / 2.0f);
    m.Rotate(static_cast<float>(size % 360));
    m.Translate(32.0f, 24.0f);
    RasterCopyTransformed(target, m, 0, 0, image, image.Width(), image.Height(), 0,
                          RasterCopyMode::Keyed, nullptr, nullptr, nullptr);
    CRasterRuns runs;
    runs.Build(image, 0x010101u);
    RasterComposite(target.View(), target, RasterBounds{0, 0, 64, 48}, &image, &runs, -5, 7,
                    RasterBounds{0, 0, 64, 48});
    return 0;
}
