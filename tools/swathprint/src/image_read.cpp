#include <cstring>
#include <memory>

#include "image.h"
#include "image_util.h"

namespace swathprint {

namespace {

enum class FileKind { kPng, kTiff, kOther };

FileKind KindOf(const unsigned char *head, size_t n) {
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 8 && std::memcmp(head, kPng, 8) == 0) return FileKind::kPng;
    if (n >= 4 && (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0 ||
                   std::memcmp(head, "II+\0", 4) == 0 || std::memcmp(head, "MM\0+", 4) == 0))
        return FileKind::kTiff;
    return FileKind::kOther;
}

}  // namespace

bool CheckImageSize(uint64_t width, uint64_t height, std::string *error) {
    if (width == 0 || height == 0) {
        *error = "the image is empty";
        return false;
    }
    if (width * height > kMaxImagePixels) {
        *error = "the image has " + std::to_string(width) + " x " + std::to_string(height) +
                 " pixels; at most " + std::to_string(kMaxImagePixels / 1'000'000) + " million are read";
        return false;
    }
    return true;
}

bool ReadImage(const std::string &path, Image *image, std::string *error) {
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    unsigned char head[8] = {};
    const size_t n = std::fread(head, 1, sizeof head, file.get());
    bool ok = false;
    switch (KindOf(head, n)) {
    case FileKind::kPng:
        std::rewind(file.get());
        ok = ReadPng(file.get(), image, error);
        break;
    case FileKind::kTiff:
        file.reset();
        ok = ReadTiff(path, image, error);
        break;
    case FileKind::kOther: *error = "not a PNG or TIFF file"; break;
    }
    if (!ok) *error = path + ": " + *error;
    return ok;
}

}  // namespace swathprint
