// The checked parameter files in the hidden folder: the dot-size file (read
// at the start of a 1-bit job, then expanding a line through its table) and
// the saved copy of the board's parameter block.
#include "api/one_bit.h"
#include "files/para_files.h"
#include "fuzz_input.h"
#include "pipeline/line_intake.h"
#include "shared/checksum.h"
#include "shared/records.h"

namespace {

// Gives the file's last two bytes the checksum of the bytes before them.
void Seal(std::vector<uint8_t> &file) {
    if (file.size() < 2) return;
    const uint32_t n = static_cast<uint32_t>(file.size() - 2);
    const uint16_t sum = sl::CalcChecksum16(file.data(), n, sl::kParaChecksumType);
    file[n] = static_cast<uint8_t>(sum);
    file[n + 1] = static_cast<uint8_t>(sum >> 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Input in{data, size};
    const uint8_t how = in.Byte();
    std::vector<uint8_t> file = in.Rest();
    // The reader takes a file of exactly its size; a sound checksum opens it.
    if (how & 1) file.resize(how & 2 ? 6 : sizeof(sl::SPara));
    if (how & 4) Seal(file);

    fuzz::WriteBytes(fuzz::HiddenFile(sl::kDotSizeFileName), file.data(), file.size());
    uint16_t table[256];
    sl::BuildDotSizeTable(sl::ReadDotSize(sl::plat_prnlog_dir()), table);
    std::vector<uint8_t> line(file.size() * 2);
    sl::ExpandOneBitLine(line.data(), file.data(), static_cast<uint32_t>(file.size()), table);

    const std::string save = fuzz::HiddenFile(sl::kParaSaveFileName);
    fuzz::WriteBytes(save, file.data(), file.size());
    sl::SPara saved;
    (void)sl::ReadParaFile(save.c_str(), reinterpret_cast<uint8_t *>(&saved), sizeof saved);
    return 0;
}
