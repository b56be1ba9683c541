// The readers of each kind of file, behind OpenDocument.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "pages.h"

namespace frontend {

// Each takes the open file (at its start, owned from then on) or its path,
// and gives a document or null with one sentence in *error.
constexpr size_t kPngSignatureBytes = 8;
// `signature_read`: the file is past its first kPngSignatureBytes.
std::unique_ptr<Document> OpenPng(FILE *file, bool signature_read, std::string *error);
std::unique_ptr<Document> OpenJpeg(FILE *file, std::string *error);
std::unique_ptr<Document> OpenTiff(const std::string &path, const DocumentOptions &options,
                                   std::string *error);
// PDF, PostScript and EPS, rendered by Ghostscript in a process of its own.
// `kind` is "PDF", "PostScript" or "EPS".
std::unique_ptr<Document> OpenRendered(const std::string &path, const std::string &kind,
                                       const DocumentOptions &options, std::string *error);

// A document of exactly one page.
class SinglePage : public Document {
public:
    SinglePage(std::string kind, std::unique_ptr<PageReader> page) : page_(std::move(page)) {
        kind_ = std::move(kind);
    }
    std::unique_ptr<PageReader> NextPage(std::string *) override { return std::move(page_); }
    uint32_t PageCount() const override { return 1; }

private:
    std::unique_ptr<PageReader> page_;
};

// `n` samples of 8 or 16 bits (the host's byte order) to 16 bits, an 8-bit
// v as v * 257. A straight loop the compiler vectorises, for the common row
// with no alpha, inversion or packing: it runs on the thread that also
// decodes the file.
inline void WidenSamples(const uint8_t *row, int bits, size_t n, uint16_t *out) {
    if (bits == 16) {
        std::memcpy(out, row, n * sizeof(uint16_t));
        return;
    }
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint16_t>(row[i] * 257);
}

struct FileCloser {
    void operator()(FILE *f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

}  // namespace frontend
