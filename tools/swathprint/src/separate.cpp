#include <algorithm>

#include "raster.h"

namespace swathprint {

void SeparatePixels(ColorModel model, const uint16_t *pixels, uint32_t n, float *y, float *m, float *c,
                    float *k) {
    constexpr float kFull = 65535.0f;
    for (uint32_t x = 0; x < n; ++x) {
        float yy = 0, mm = 0, cc = 0, kk = 0;
        switch (model) {
        case ColorModel::kGrey: kk = 1 - pixels[x] / kFull; break;
        case ColorModel::kRgb: {
            const uint16_t *px = pixels + size_t(x) * 3;
            cc = 1 - px[0] / kFull, mm = 1 - px[1] / kFull, yy = 1 - px[2] / kFull;
            kk = std::min({cc, mm, yy});
            cc -= kk, mm -= kk, yy -= kk;
            break;
        }
        case ColorModel::kCmyk: {
            const uint16_t *px = pixels + size_t(x) * 4;
            cc = px[0] / kFull, mm = px[1] / kFull, yy = px[2] / kFull, kk = px[3] / kFull;
            break;
        }
        }
        y[x] = yy, m[x] = mm, c[x] = cc, k[x] = kk;
    }
}

}  // namespace swathprint
