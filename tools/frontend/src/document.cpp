// Which reader a file goes to: its first bytes say, not its name.
#include <cerrno>
#include <cstring>

#include "readers.h"

namespace frontend {

namespace {

enum class FileKind { kPng, kTiff, kJpeg, kPdf, kPostScript, kEps, kOther };

FileKind KindOf(const unsigned char *head, size_t n) {
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const unsigned char kEpsBinary[4] = {0xC5, 0xD0, 0xD3, 0xC6};  // DOS EPS with a preview
    const auto starts = [&](const void *magic, size_t len) {
        return n >= len && std::memcmp(head, magic, len) == 0;
    };
    if (starts(kPng, 8)) return FileKind::kPng;
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return FileKind::kTiff;
    if (starts("\xFF\xD8\xFF", 3)) return FileKind::kJpeg;
    if (starts("%PDF-", 5)) return FileKind::kPdf;
    if (starts(kEpsBinary, 4)) return FileKind::kEps;
    if (starts("%!PS", 4)) {
        const std::string text(reinterpret_cast<const char *>(head), n);
        const size_t eol = text.find_first_of("\r\n");
        return text.substr(0, eol).find("EPSF") != std::string::npos ? FileKind::kEps : FileKind::kPostScript;
    }
    return FileKind::kOther;
}

// Skips to the page asked for in a document that cannot seek to it itself.
class FromPage : public Document {
public:
    FromPage(std::unique_ptr<Document> inner, uint32_t page) : inner_(std::move(inner)), page_(page) {
        kind_ = inner_->Kind();
    }
    std::unique_ptr<PageReader> NextPage(std::string *error) override {
        if (done_) return nullptr;
        done_ = true;
        for (uint32_t p = 1;; ++p) {
            std::unique_ptr<PageReader> reader = inner_->NextPage(error);
            if (!reader) {
                if (error->empty())
                    *error = "there is no page " + std::to_string(page_) + " (the file has " +
                             std::to_string(p - 1) + (p == 2 ? " page)" : " pages)");
                return nullptr;
            }
            if (p == page_) return reader;
        }
    }
    uint32_t PageCount() const override { return inner_->PageCount(); }

private:
    std::unique_ptr<Document> inner_;
    uint32_t page_;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<Document> OpenDocument(const std::string &path, const DocumentOptions &options,
                                       std::string *error) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return nullptr;
    }
    // A PNG is known by its first 8 bytes, which its reader is told were
    // read: it then reads from a pipe as well as from a file.
    unsigned char head[64] = {};
    size_t n = std::fread(head, 1, kPngSignatureBytes, file.get());
    const bool png = KindOf(head, n) == FileKind::kPng;
    if (!png) {
        n += std::fread(head + n, 1, sizeof head - n, file.get());
        std::rewind(file.get());
    }
    std::unique_ptr<Document> doc;
    switch (KindOf(head, n)) {
    case FileKind::kPng: doc = OpenPng(file.release(), true, error); break;
    case FileKind::kJpeg: doc = OpenJpeg(file.release(), error); break;
    case FileKind::kTiff: doc = OpenTiff(path, options, error); break;
    case FileKind::kPdf: doc = OpenRendered(path, "PDF", options, error); break;
    case FileKind::kPostScript: doc = OpenRendered(path, "PostScript", options, error); break;
    case FileKind::kEps: doc = OpenRendered(path, "EPS", options, error); break;
    case FileKind::kOther: *error = "not a PNG, TIFF, JPEG, PDF or PostScript file"; break;
    }
    if (!doc) return nullptr;
    // TIFF and the renderer go to the page themselves.
    if (options.page > 1 && (doc->Kind() == "PNG" || doc->Kind() == "JPEG"))
        return std::make_unique<FromPage>(std::move(doc), options.page);
    return doc;
}

}  // namespace frontend
