// The status file as the companion application may leave it: the address
// record read at session start, the record checked and replaced at job start,
// and a request taken and carried out by the transmit thread.
#include "files/status_record.h"
#include "files/files_common.h"
#include "files/request_dispatch.h"
#include "files/request_poll.h"
#include "files/status_file.h"
#include "fuzz_input.h"
#include "platform/platform.h"
#include "shared/print_job.h"
#include "shared/records.h"

namespace {

void NoBox(const char *, const char *) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    sl::plat_set_message_sink(NoBox);
    fuzz::Input in{data, size};
    const uint8_t how = in.Byte();
    std::vector<uint8_t> bytes = in.Rest();
    // Half the inputs carry a sound checksum, so the fields behind it are read.
    if ((how & 1) && bytes.size() >= sizeof(sl::PrintCfgRecord)) {
        sl::PrintCfgRecord rec;
        std::memcpy(&rec, bytes.data(), sizeof rec);
        rec.Checksum = sl::StatusChecksum(&rec);
        std::memcpy(bytes.data(), &rec, sizeof rec);
    }
    const std::string path = fuzz::HiddenFile(sl::kStatusFileName);
    fuzz::WriteBytes(path, bytes.data(), bytes.size());

    const std::string folder = fuzz::HiddenFolder();
    uint32_t pc = 0, board = 0;
    sl::ReadAddresses(folder, &pc, &board);

    sl::StatusFile statusFile;
    statusFile.folder = folder;
    statusFile.access = sl::StatusFileAccess::Ready;
    sl::JobRequests requests;
    sl::PrintJob job{};
    job.requests = &requests;
    sl::PrintCfgRecord rec{};
    if (sl::ReadSessionRecord(folder, &rec) == sl::CfgSession::Active) {
        if (sl::PollCompanionRequest(&statusFile, &rec, rec.JobId))
            sl::CarryOutCompanionRequest(&statusFile, &rec, &job, rec.JobId);
    }
    // Job start replaces a damaged record.
    if (how & 2) (void)sl::OpenStatusRecord(folder);
    return 0;
}
