// The board's replies as the receive thread takes them: a byte stream cut
// into receives of any length, framed by reply code, dispatched against the
// command the link last sent; and the parameter block's two decodings on
// replies of any length.
#include <algorithm>

#include "fuzz_input.h"
#include "platform/platform.h"
#include "shared/records.h"
#include "transport/command_protocol.h"
#include "transport/job_link.h"
#include "transport/net_codes.h"
#include "transport/parameter_block.h"
#include "transport/receive_thread.h"

namespace {

constexpr uint8_t kCommands[] = {sl::NET_CMD_DEBUG, sl::NET_CMD_JOB_CREATE, sl::NET_CMD_PRINT_START,
                                 sl::NET_CMD_SWATH_CREATE, sl::NET_CMD_PRINT_END};

void NoBox(const char *, const char *) {}

// Puts one of the parameter block's marker triples into every job-create
// reply of the stream, so that the decoders are reached often.
void MarkJobCreateReplies(std::vector<uint8_t> &stream, bool newer) {
    for (size_t at = 0; at < stream.size(); at += static_cast<size_t>(sl::ReplyLength(stream[at]))) {
        if (stream[at] != sl::NET_CMD_JOB_CREATE || stream.size() - at < 96) continue;
        stream[at + 14] = newer ? 0xEF : 15;
        stream[at + 95] = newer ? 0xC9 : 29;
        stream[at + 94] = newer ? 0xB8 : 29;
    }
}

void DispatchStream(fuzz::Input in) {
    // A job's link as the job's opening makes it, with nothing running on it.
    sl::JobRequests requests;
    sl::PrintJob job{};
    job.requests = &requests;
    sl::StatusFile statusFile;
    statusFile.folder = fuzz::HiddenFolder();
    sl::LinkAddresses addresses;
    uint8_t *heartbeat = nullptr;
    sl::JobLink link(&job, &statusFile, &addresses, &heartbeat);
    if (!link.Usable()) return;
    link.LastCmd = kCommands[in.Byte() % sizeof kCommands];
    link.ReplyOk = in.Byte() & 1;
    const uint8_t markers = in.Byte();
    const size_t cut = 1 + in.Byte() * 7u;  // bytes per receive
    std::vector<uint8_t> stream = in.Rest();
    if (markers & 1) MarkJobCreateReplies(stream, markers & 2);

    sl::DropPartialReply(&link);
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min({cut, stream.size() - at, size_t(sl::kReceiveBufferBytes)});
        sl::TakeReplies(stream.data() + at, static_cast<int>(n), &link);
        at += n;
    }
}

void DecodeBlock(fuzz::Input in) {
    const uint8_t layout = in.Byte();
    const std::vector<uint8_t> reply = in.Rest();
    const auto len = static_cast<uint32_t>(reply.size());
    sl::UISetupPara settings{};
    if (layout & 1)
        sl::DecodeNewerBlock(&settings, reply.data(), len);
    else
        sl::DecodeOlderBlock(&settings, reply.data(), len);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    sl::plat_set_message_sink(NoBox);
    fuzz::Input in{data, size};
    if (in.Byte() & 1)
        DecodeBlock(in);
    else
        DispatchStream(in);
    return 0;
}
