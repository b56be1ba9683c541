#include "resample.h"

#include <algorithm>
#include <cmath>

namespace frontend {

namespace {

// Calls fn(index, weight) for the source cells that [from, to) overlaps.
template <typename Fn>
void ForOverlap(double from, double to, uint32_t limit, Fn fn) {
    const uint32_t first = static_cast<uint32_t>(std::floor(from));
    for (uint32_t i = first; i < limit && i < to; ++i) {
        const double w = std::min(to, double(i) + 1) - std::max(from, double(i));
        if (w > 0) fn(i, w);
    }
}

}  // namespace

Resampler::Resampler(PageReader *page, uint32_t out_width, uint32_t out_height)
    : page_(page), channels_(page->Info().Channels()), out_width_(out_width), out_height_(out_height) {
    const PageInfo &info = page->Info();
    identity_ = info.width == out_width && info.height == out_height;
    const double scale = double(info.width) / out_width;
    spans_.resize(out_width);
    for (uint32_t x = 0; x < out_width; ++x) {
        Span &span = spans_[x];
        span.weights = static_cast<uint32_t>(weights_.size());
        double total = 0;
        ForOverlap(x * scale, (x + 1) * scale, info.width, [&](uint32_t i, double w) {
            if (span.count == 0) span.first = i;
            ++span.count;
            weights_.push_back(static_cast<float>(w));
            total += w;
        });
        for (uint32_t k = 0; k < span.count; ++k) weights_[span.weights + k] /= static_cast<float>(total);
    }
    raw_.resize(size_t(info.width) * channels_);
    narrowed_.resize(size_t(out_width) * channels_);
    sum_.resize(size_t(out_width) * channels_);
}

// Reads the next source row and resamples it across.
bool Resampler::Advance(std::string *error) {
    if (!page_->ReadRow(raw_.data(), error)) return false;
    ++source_row_;
    const uint32_t ch = channels_;
    for (uint32_t x = 0; x < out_width_; ++x) {
        const Span &span = spans_[x];
        float px[4] = {};
        for (uint32_t k = 0; k < span.count; ++k) {
            const float w = weights_[span.weights + k];
            const uint16_t *src = &raw_[size_t(span.first + k) * ch];
            for (uint32_t c = 0; c < ch; ++c) px[c] += w * src[c];
        }
        std::copy_n(px, ch, &narrowed_[size_t(x) * ch]);
    }
    return true;
}

bool Resampler::NextRow(uint16_t *out, std::string *error) {
    // A page printed at its own size, dot for pixel, is read straight
    // through (the average of one pixel is itself).
    if (identity_) {
        if (!page_->ReadRow(out, error)) return false;
        ++source_row_, ++out_row_;
        return true;
    }
    const uint32_t height = page_->Info().height;
    const double scale = double(height) / out_height_;
    std::fill(sum_.begin(), sum_.end(), 0.0f);
    double total = 0;
    bool ok = true;
    ForOverlap(out_row_ * scale, (out_row_ + 1) * scale, height, [&](uint32_t i, double w) {
        while (ok && source_row_ < int64_t(i)) ok = Advance(error);
        if (!ok) return;
        const float fw = static_cast<float>(w);
        for (size_t k = 0; k < sum_.size(); ++k) sum_[k] += fw * narrowed_[k];
        total += w;
    });
    if (!ok) return false;
    const float norm = total > 0 ? static_cast<float>(1.0 / total) : 0.0f;
    // Rounded to nearest (the sums are never negative), in a loop that
    // vectorises.
    for (size_t k = 0; k < sum_.size(); ++k)
        out[k] = static_cast<uint16_t>(std::clamp(sum_[k] * norm, 0.0f, 65535.0f) + 0.5f);
    ++out_row_;
    return true;
}

}  // namespace frontend
