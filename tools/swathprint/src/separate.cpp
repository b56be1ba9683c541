#include <algorithm>
#include <cmath>

#include "raster.h"

namespace swathprint {

namespace {

// Adds `weight` times source row `y` to the running sum.
void AddSourceRow(const Image &image, uint32_t y, double weight, std::vector<double> *sum) {
    const size_t n = size_t(image.width) * image.Channels();
    const uint16_t *src = &image.samples[size_t(y) * n];
    for (size_t i = 0; i < n; ++i) (*sum)[i] += weight * src[i];
}

// Calls fn(index, weight) for the source cells that [from, to) overlaps.
template <typename Fn>
void ForOverlap(double from, double to, uint32_t limit, Fn fn) {
    const uint32_t first = static_cast<uint32_t>(std::floor(from));
    for (uint32_t i = first; i < limit && i < to; ++i) {
        const double w = std::min(to, double(i) + 1) - std::max(from, double(i));
        if (w > 0) fn(i, w);
    }
}

// The source area under one output dot, as 0..1 samples of the image model.
void AveragePixel(const Separation &s, uint32_t x, double *px) {
    const Image &image = *s.image;
    const uint32_t ch = image.Channels();
    const double scale = double(image.width) / s.content_width;
    double total = 0;
    std::fill(px, px + ch, 0.0);
    ForOverlap(x * scale, (x + 1) * scale, image.width, [&](uint32_t i, double w) {
        for (uint32_t c = 0; c < ch; ++c) px[c] += w * s.source_row[size_t(i) * ch + c];
        total += w;
    });
    for (uint32_t c = 0; c < ch; ++c) px[c] /= total * 65535.0;
}

void ToInks(ColorModel model, const double *px, CoverageRow *coverage, uint32_t x) {
    double y = 0, m = 0, c = 0, k = 0;
    switch (model) {
    case ColorModel::kGrey: k = 1 - px[0]; break;
    case ColorModel::kRgb:
        c = 1 - px[0], m = 1 - px[1], y = 1 - px[2];
        k = std::min({c, m, y});
        c -= k, m -= k, y -= k;
        break;
    case ColorModel::kCmyk: c = px[0], m = px[1], y = px[2], k = px[3]; break;
    }
    (*coverage)[kY][x] = static_cast<float>(y);
    (*coverage)[kM][x] = static_cast<float>(m);
    (*coverage)[kC][x] = static_cast<float>(c);
    (*coverage)[kK][x] = static_cast<float>(k);
}

}  // namespace

void StartSeparation(const Image *image, uint32_t content_width, uint32_t height, uint32_t row_width,
                     Separation *s) {
    s->image = image;
    s->content_width = content_width;
    s->height = height;
    s->row_width = row_width;
    s->source_row.assign(size_t(image->width) * image->Channels(), 0.0);
}

void SeparateRow(Separation *s, uint32_t y, CoverageRow *coverage) {
    const Image &image = *s->image;
    const double scale = double(image.height) / s->height;
    double total = 0;
    std::fill(s->source_row.begin(), s->source_row.end(), 0.0);
    ForOverlap(y * scale, (y + 1) * scale, image.height, [&](uint32_t i, double w) {
        AddSourceRow(image, i, w, &s->source_row);
        total += w;
    });
    for (double &v : s->source_row) v /= total;
    for (auto &plane : *coverage) plane.assign(s->row_width, 0.0f);
    double px[4];
    for (uint32_t x = 0; x < s->content_width; ++x) {
        AveragePixel(*s, x, px);
        ToInks(image.model, px, coverage, x);
    }
}

}  // namespace swathprint
