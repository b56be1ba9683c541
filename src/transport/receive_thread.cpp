// The receive thread: the only reader on the link. It turns the board's
// replies into changes of the link context and never sends.
#include "transport/receive_thread.h"

#include <cstring>

#include "link/tcp_link.h"
#include "platform/platform.h"
#include "shared/link_wait.h"
#include "transport/command_protocol.h"
#include "transport/net_codes.h"
#include "transport/parameter_block.h"

namespace sl {

namespace {

constexpr uint8_t kStatusPrinterCancelled = 8;
constexpr uint8_t kStatusTooWide = 6;
constexpr uint16_t kPrintStatusCancelled = 1;
constexpr uint32_t kReconnectLookMs = 10;  // a look at the other thread's reconnection

constexpr const char *kSwathStateNames[] = {
    "SWATH_CREAT_NULL",
    "SWATH_CREAT_OK",
    "SWATH_CREAT_TIMEOUT",
    "SWATH_CREAT_SN_ERROR",
    "SWATH_CREAT_SN_REPEAT",
    "SWATH_CREAT_CMDBUFFER_OVERFLOW",
    "SWATH_CREAT_SWATHBUFFER_OVERFLOW",
    "SWATH_CREAT_DATABUFFER_OVERFLOW",
};

// The board's parameter block carries one of two marker triples at reply
// bytes 14, 95 and 94.
struct Markers {
    uint8_t at14, at95, at94;
};
constexpr Markers kGoodMarkers[] = {{15, 29, 29}, {0xEF, 0xC9, 0xB8}};

uint16_t Get16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool GoodMarkers(const uint8_t *r, int length) {
    if (length <= 95) return false;
    for (const Markers &m : kGoodMarkers)
        if (r[14] == m.at14 && r[95] == m.at95 && r[94] == m.at94) return true;
    return false;
}

// Decoded aside and copied whole, before ReplyOk tells the host it may read
// the settings.
void DecodeParameterBlock(JobLink *link, const uint8_t *r, int length) {
    UISetupPara fresh = link->job->board;
    if (r[1] == 0 && r[3] == 0)
        DecodeOlderBlock(&fresh, r, static_cast<uint32_t>(length));
    else
        DecodeNewerBlock(&fresh, r, static_cast<uint32_t>(length));
    link->job->board = fresh;
}

// Completes or refuses the outstanding command when the reply answers one
// of its copies.
void TakeAnswer(const uint8_t *r, JobLink *link, int length) {
    const uint8_t code = r[0];
    const uint8_t status = r[2];
    const bool answered = link->ReplyOk.load();
    const bool current = ReplyIsCurrent(link);
    if (code != link->LastCmd.load() || !current) return;

    if (status != 0) {
        link->ResendReq.store(true);
        return;
    }
    if (code == NET_CMD_PRINT_END) {
        link->ReplyOk.store(true);
        EndLink(link);
        return;
    }
    if (code == NET_CMD_JOB_CREATE) {
        // The host adjusts the settings as soon as the first answer is in;
        // the answer to a resent copy must not rewrite them.
        if (answered) {
            sl_trace("NET_CMD_JOB_CREATE answered again: ignored\n");
            return;
        }
        if (!GoodMarkers(r, length)) {
            sl_trace("NET_CMD_GET_PARA  error\n");
            link->ReplyOk.store(false);
            return;
        }
        DecodeParameterBlock(link, r, length);
    }
    link->ReplyOk.store(true);
}

void StopJob(LinkContext *link) {
    link->PrintStopFlag.store(true);
    EndLink(link);
}

void TakePrintStatus(const uint8_t *r, LinkContext *link) {
    const uint16_t status = Get16(r + 4);
    switch (status) {
    case kPrintStatusCancelled:
        sl_trace("Recevice cancel \r\n");
        link->PrintStopFlag.store(true);
        plat_signal_raise(link->changed);
        break;
    case 0:
    case 2:
    case 3:
    case 5: break;
    default: sl_trace("Rx Unknow print status %d\n", status); break;
    }
}

}  // namespace

void DropPartialReply(JobLink *link) { link->reader.have = 0; }

void TakeReplies(const uint8_t *data, int n, JobLink *link) {
    ReplyReader &r = link->reader;
    if (r.have + n > static_cast<int>(sizeof r.pending)) r.have = 0;
    std::memcpy(r.pending + r.have, data, static_cast<size_t>(n));
    r.have += n;
    int at = 0;
    while (r.have - at > 0) {
        const int len = ReplyLength(r.pending[at]);
        if (r.have - at < len) break;
        DispatchReply(r.pending + at, link, len);
        at += len;
    }
    r.have -= at;
    if (at && r.have) std::memmove(r.pending, r.pending + at, static_cast<size_t>(r.have));
}

int ReplyLength(uint8_t code) {
    switch (code) {
    case NET_CMD_DEBUG:
    case NET_CMD_SWATH_CREATE: return 18;
    case NET_CMD_JOB_CREATE: return 432;
    default: return 14;
    }
}

void DispatchReply(const uint8_t *r, JobLink *link, int length) {
    if (link->PrintStopFlag.load()) {
        ReplyIsCurrent(link);  // still one packet answered
        return;
    }
    const uint8_t code = r[0];
    const uint8_t status = r[2];

    link->Matching.store(true);
    TakeAnswer(r, link, length);
    link->Matching.store(false);

    if (code == NET_CMD_SWATH_CREATE) {
        if (status == kStatusPrinterCancelled) {
            StopJob(link);
            return;
        }
        if (status == kStatusTooWide) {
            plat_message_box("Tip", "Error: Exceed max printable width!");
            StopJob(link);
            return;
        }
        const uint16_t state = Get16(r + 6);
        if (!link->ReplyOk.load()) {
            const char *name = state < 8 ? kSwathStateNames[state] : "?";
            sl_trace("NetWork Swath(%d) send state: %s\r\n", link->SwathSN.load() - 1, name);
        }
        if (state == SWATH_CREAT_SN_ERROR) {
            StopJob(link);
            return;
        }
    }

    switch (code) {
    case NET_CMD_DEBUG:
        if (status != 0) {
            sl_trace("NET_CMD_DEBUG status %d\n", status);
            break;
        }
        TakePrintStatus(r, link);
        break;
    case NET_CMD_SWATH_CREATE: TakePrintStatus(r, link); break;
    case NET_CMD_JOB_CREATE:
        // Only the answer to the outstanding command is decoded (above):
        // a late copy must not rewrite the settings of a running job.
        if (status == kStatusPrinterCancelled)
            sl_trace("NET_CMD_JOB_CREATE: cancelling a hanging job\n");
        else if (status != 0)
            sl_trace("NET_CMD_JOB_CREATE refused %d\n", status);
        break;
    default: break;
    }
}

int ReceiveThread(void *arg) {
    auto *link = static_cast<JobLink *>(arg);
    link->reader.have = 0;
    while (link->RxEnable.load()) {
        if (link->PrintEndFlag.load() || (AbortRequested(link) && link->PrintStopFlag.load()))
            break;
        if (link->reconnecting.load()) {
            link->reader.have = 0;
            WaitForChange(link->changed, kReconnectLookMs, [link] {
                return !link->reconnecting.load() || link->PrintEndFlag.load();
            });
            continue;
        }
        const uint32_t connection = link->connectionSerial.load();
        const int n = LinkReceive(link, link->reader.buffer, kReceiveBufferBytes);
        if (n > 0) {
            // Bytes of a connection replaced meanwhile answer packets of the
            // old count: they settle nothing.
            if (link->connectionSerial.load() == connection) TakeReplies(link->reader.buffer, n, link);
            plat_signal_raise(link->answered);
            continue;
        }
        // 0 bytes: the board closed the connection; a failure like any other.
        link->reader.have = 0;
        // A connection replaced meanwhile by the other thread is not ours to
        // reconnect.
        if (link->reconnecting.load() || link->connectionSerial.load() != connection) continue;
        if (!link->RxEnable.load() || link->PrintEndFlag.load()) break;
        sl_trace("Recv error %d!!!!!!!\r\n", -n);  // 0: closed by the board
        if (link->PrintStopFlag.load()) {
            EndLink(link);
            break;
        }
        ReplaceConnection(link);
    }
    sl_trace(" = Rx thread end!\r\n");
    link->RxEnded.store(true);
    plat_signal_raise(link->changed);
    return 0;
}

}  // namespace sl
