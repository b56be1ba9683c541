// Shared by the fuzz targets: reading the input as a sequence of fields, and a
// private hidden folder for the targets that read files.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz {

// Takes leading bytes of the input as control values; what is left is the
// payload. Reads past the end give zeros, so every input is usable.
struct Input {
    const uint8_t *data;
    size_t size;

    uint8_t Byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    // The rest of the input in a heap block of exactly its size, so that the
    // sanitizer sees any read past it.
    std::vector<uint8_t> Rest() {
        std::vector<uint8_t> out(data, data + size);
        size = 0;
        return out;
    }
};

// A private folder made once per process (in memory where it can be: the
// targets rewrite a file on every input) and removed when the process ends;
// SWATHLINK_PRNLOG points at it.
inline const std::string &HiddenFolder() {
    static const std::string folder = [] {
        char shm[] = "/dev/shm/swathlink-fuzz-XXXXXX";
        char tmp[] = "/tmp/swathlink-fuzz-XXXXXX";
        const char *made = mkdtemp(shm);
        if (!made) made = mkdtemp(tmp);
        if (!made) std::abort();
        setenv("SWATHLINK_PRNLOG", made, 1);
        return std::string(made);
    }();
    static const bool removed = std::atexit([] { std::filesystem::remove_all(HiddenFolder()); }) == 0;
    (void)removed;
    return folder;
}

inline std::string HiddenFile(const char *name) { return HiddenFolder() + "/" + name; }

inline void WriteBytes(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

}  // namespace fuzz
