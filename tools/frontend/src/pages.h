// Pages as the front end reads them: one row at a time, top to bottom, so a
// page of any length needs memory for a few rows only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "colour.h"

namespace frontend {

// Samples per pixel of each model.
inline uint32_t ChannelsOf(PixelModel model) {
    return model == PixelModel::kGrey ? 1 : model == PixelModel::kRgb ? 3 : 4;
}

// What a page holds. Samples are interleaved per pixel and widened to 16
// bits: for grey and RGB 65535 is white (light), for CMYK it is full ink. An
// alpha channel is composited on white before a row is handed out.
struct PageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    PixelModel model = PixelModel::kGrey;
    bool bilevel = false;  // stored with one bit per pixel
    double xdpi = 0;       // the page's own resolution; 0 when it has none
    double ydpi = 0;
    std::vector<uint8_t> icc;  // the embedded colour profile, if any

    uint32_t Channels() const { return ChannelsOf(model); }
};

// One page, read row by row.
class PageReader {
public:
    virtual ~PageReader() = default;
    const PageInfo &Info() const { return info_; }
    // Fills `samples` (Info().width * Channels()) with the next row. False,
    // with one sentence in *error, for a damaged or truncated page.
    virtual bool ReadRow(uint16_t *samples, std::string *error) = 0;

protected:
    PageInfo info_;
};

// A file of one or more pages, opened one after the other. A page's rows
// need not all be read before the next page is opened; a page reader is
// valid until the next page is opened or the document is closed.
class Document {
public:
    virtual ~Document() = default;
    // The next page, or null: at the end with *error empty, else with one
    // sentence in *error.
    virtual std::unique_ptr<PageReader> NextPage(std::string *error) = 0;
    // Pages in the document, or 0 when it is only known at the end.
    virtual uint32_t PageCount() const { return 0; }
    // Ends a read held up in another thread (a renderer still at work), from
    // any thread: the reads then fail. For an abort.
    virtual void Cancel() {}
    // The kind of file, for messages ("PNG", "TIFF", "JPEG", "PDF", ...).
    const std::string &Kind() const { return kind_; }

protected:
    std::string kind_;
};

struct DocumentOptions {
    uint32_t page = 0;         // 1-based: only that page; 0: every page
    uint32_t render_xdpi = 0;  // resolution at which a PDF or PostScript page is rendered
    uint32_t render_ydpi = 0;
    bool render_grey = false;        // a PDF or PostScript page rendered in grey instead of CMYK
    std::string ghostscript = "gs";  // the renderer run for PDF and PostScript
};

// Opens a PNG, TIFF, JPEG, PDF, PostScript or EPS file (told apart by its
// first bytes). Null, with one sentence in *error, when it cannot be opened
// or is none of these. Messages never name the file: the caller does.
std::unique_ptr<Document> OpenDocument(const std::string &path, const DocumentOptions &options,
                                       std::string *error);

// A light-coded sample (grey, RGB) with coverage `alpha`, on white paper.
inline uint16_t OverWhite(uint16_t value, uint16_t alpha) {
    return static_cast<uint16_t>((uint32_t(value) * alpha + 65535u * (65535u - alpha) + 32767) / 65535);
}

}  // namespace frontend
