// The readers of each kind of file, behind OpenDocument.
#pragma once

#include <cstdio>
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

struct FileCloser {
    void operator()(FILE *f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

}  // namespace frontend
