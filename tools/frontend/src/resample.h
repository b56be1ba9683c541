// Area-average resampling of a page to the print grid, on a sliding window
// of source rows: each output row is the average of the source area under
// it, and a source row is read once, when the first output row needs it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pages.h"

namespace frontend {

class Resampler {
public:
    // `page` stays owned by the caller and must outlive the resampler.
    Resampler(PageReader *page, uint32_t out_width, uint32_t out_height);

    // The next output row: out_width pixels of the page's model, 16-bit
    // samples. False, with the reader's sentence in *error, when a source
    // row cannot be read.
    bool NextRow(uint16_t *out, std::string *error);
    uint32_t Row() const { return out_row_; }

private:
    // The source pixels (and their weights) under each output column.
    struct Span {
        uint32_t first = 0;
        uint32_t count = 0;
        uint32_t weights = 0;  // index of the first weight in weights_
    };
    bool Advance(std::string *error);

    PageReader *page_;
    uint32_t channels_;
    uint32_t out_width_, out_height_;
    uint32_t out_row_ = 0;
    int64_t source_row_ = -1;  // the last source row read
    bool identity_ = false;    // the page's own size: rows pass through
    std::vector<Span> spans_;
    std::vector<float> weights_;
    std::vector<uint16_t> raw_;    // the last source row as read
    std::vector<float> narrowed_;  // the same, resampled across
    std::vector<float> sum_;       // the output row being gathered
};

}  // namespace frontend
