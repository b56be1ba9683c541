#include "session.h"

#include <poll.h>
#include <sys/socket.h>
#include <algorithm>
#include <cerrno>

#include "commands.h"
#include "packet_decode.h"
#include "replies.h"

namespace swathboard {

namespace {

using Clock = std::chrono::steady_clock;

// A reply is a few hundred bytes; a host that cannot take them within this
// time is treated as gone.
constexpr int kSendTimeoutMs = 2000;

enum class Io { kProgress, kWouldBlock, kClosed };

Io ReadSome(int fd, std::uint8_t *into, std::size_t want, std::size_t *got) {
    const ssize_t n = ::recv(fd, into, want, 0);
    if (n > 0) {
        *got += static_cast<std::size_t>(n);
        return Io::kProgress;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return Io::kWouldBlock;
    return Io::kClosed;
}

bool SendAll(int fd, const std::vector<std::uint8_t> &bytes) {
    std::size_t sent = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        if (Clock::now() >= deadline) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 50);
    }
    return true;
}

std::uint64_t MicrosecondsSince(Clock::time_point from, Clock::time_point to) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(to - from).count());
}

PacketRecord NewRecord(const Board *board, const Session *s) {
    PacketRecord r;
    r.connection = s->number;
    r.time_us = MicrosecondsSince(board->started, Clock::now());
    r.first_byte_us = MicrosecondsSince(board->started, s->packet_started);
    r.code = s->packet[0];
    r.tag_bits = (s->packet[1] & kSenderTagBits) == kSenderTagBits;
    r.raw = s->packet;
    r.fields = DecodePacket(s->packet.data());
    r.data_len = s->data_have;
    r.data_complete = s->data_have == s->data_len;
    return r;
}

void ResetPacket(Session *s) {
    s->packet_have = 0;
    s->in_data = false;
    s->cut = false;
    s->data_len = 0;
    s->data_stop = 0;
    s->data_have = 0;
    s->data.clear();
    s->plan = {};
}

// The settings a NET_CMD_JOB_CREATE answer carries: see
// BoardConfig::later_job_create_presets.
const ParamPreset &PresetFor(Board *board, std::uint8_t code) {
    const std::vector<ParamPreset> &later = board->config.later_job_create_presets;
    if (code != NET_CMD_JOB_CREATE) return board->config.preset;
    const std::uint32_t n = board->job_create_answers++;
    if (n == 0 || later.empty()) return board->config.preset;
    return later[std::min<std::size_t>(n - 1, later.size() - 1)];
}

AnswerPolicy PolicyOf(const Board *board) {
    return {StopPrintStatus(&board->faults), board->config.repeat_swath_state};
}

ReplyTiming TimingOf(const PacketPlan &plan) {
    if (plan.silent) return ReplyTiming::kNever;
    if (plan.delay_ms) return ReplyTiming::kLate;
    return ReplyTiming::kNow;
}

// The packet and its data are in: choose the answer, keep the swath, log,
// then send now, later or never.
CloseRequest Answer(Board *board, Session *s) {
    const bool is_swath = s->packet[0] == NET_CMD_SWATH_CREATE;
    const std::uint32_t serial = SwathSerial(s->packet.data());
    const bool taken = is_swath && SwathTaken(&board->store, serial);
    const Outcome out = AnswerPacket(s->packet.data(), s->plan, taken, PolicyOf(board));

    PacketRecord record = NewRecord(board, s);
    record.duplicate = out.duplicate;
    record.stored = out.store_swath;
    record.timing = TimingOf(s->plan);
    record.status = out.reply.status;
    record.print_status = out.reply.print_status;
    record.swath_state = out.reply.swath_state;
    // A streamed sheet prints the swath now and the board keeps no data of it.
    if (out.store_swath && StreamSwath(board, record, &s->data)) s->data.clear();
    if (out.store_swath) SwathKeep(&board->store, serial, std::move(s->data));
    if (s->packet[0] == NET_CMD_JOB_CREATE && out.reply.status == kStatusAccepted)
        SwathStartJob(&board->store);
    StreamJobPacket(board, record);
    LogAppend(&board->log, std::move(record));

    CloseRequest after;
    if (s->plan.close) after = {true, s->plan.close->refuse_ms};
    const PacketPlan plan = s->plan;
    ResetPacket(s);
    if (plan.silent) return after;

    std::vector<std::uint8_t> reply = BuildReply(out.reply, PresetFor(board, out.reply.code));
    if (plan.answer_twice) {
        // The second copy follows the first on the wire, as one answer too many.
        const std::vector<std::uint8_t> again = reply;
        reply.insert(reply.end(), again.begin(), again.end());
        CountExtraAnswer(&board->faults);
    }
    if (board->config.answer_latency_ms > 0 && !plan.delay_ms) {
        const auto due = Clock::now() + std::chrono::milliseconds(board->config.answer_latency_ms);
        s->pending.push_back({due, std::move(reply), after});
        return {};
    }
    if (plan.delay_ms) {
        s->holding = true;
        s->held_reply = std::move(reply);
        s->reply_at = Clock::now() + std::chrono::milliseconds(*plan.delay_ms);
        s->close_after_reply = after.close;
        s->refuse_ms_after = after.refuse_ms;
        return {};
    }
    if (!SendAll(s->fd, reply)) return {true, 0};
    return after;
}

// The link is cut partway through a swath's data, as a board reset would.
CloseRequest Cut(Board *board, Session *s) {
    PacketRecord record = NewRecord(board, s);
    record.timing = ReplyTiming::kDropped;
    LogAppend(&board->log, std::move(record));
    const std::uint32_t refuse_ms = s->plan.close ? s->plan.close->refuse_ms : 0;
    ResetPacket(s);
    return {true, refuse_ms};
}

CloseRequest DataDone(Board *board, Session *s) { return s->cut ? Cut(board, s) : Answer(board, s); }

// The 64 bytes are in: take the faults for this packet and see how much
// data follows.
CloseRequest HeaderDone(Board *board, Session *s) {
    s->plan = TakePacketPlan(&board->faults, s->packet[0], SwathSerial(s->packet.data()));
    if (s->packet[0] != NET_CMD_SWATH_CREATE) {
        // A command cut before its answer: the link goes as it arrives.
        if (s->plan.close && s->plan.close->after_data_bytes >= 0) return Cut(board, s);
        return Answer(board, s);
    }
    s->data_len = SwathDataLength(s->packet.data());
    if (s->data_len > kMaxSwathData) {
        // No sane swath is this long: the stream is out of step.
        s->cut = true;
        return Cut(board, s);
    }
    s->data_stop = s->data_len;
    if (s->plan.close && s->plan.close->after_data_bytes >= 0) {
        s->cut = true;
        s->data_stop = static_cast<std::uint32_t>(
            std::min<std::int64_t>(s->plan.close->after_data_bytes, static_cast<std::int64_t>(s->data_len)));
    }
    if (s->data_stop == 0) return DataDone(board, s);
    s->in_data = true;
    s->data.resize(s->data_stop);
    return {};
}

Io Step(Board *board, Session *s, CloseRequest *request) {
    std::size_t got = 0;
    Io io;
    if (!s->in_data) {
        io = ReadSome(s->fd, s->packet.data() + s->packet_have, kPacketSize - s->packet_have, &got);
        if (s->packet_have == 0 && got > 0) s->packet_started = Clock::now();
        s->packet_have += got;
        if (s->packet_have == kPacketSize) *request = HeaderDone(board, s);
    } else {
        io = ReadSome(s->fd, s->data.data() + s->data_have, s->data_stop - s->data_have, &got);
        s->data_have += static_cast<std::uint32_t>(got);
        if (s->data_have == s->data_stop) *request = DataDone(board, s);
    }
    return io;
}

}  // namespace

CloseRequest SessionRead(Board *board, Session *s) {
    CloseRequest request;
    while (!request.close && !s->holding) {
        const Io io = Step(board, s, &request);
        if (io == Io::kWouldBlock) break;
        if (io == Io::kClosed) return {true, 0};
    }
    return request;
}

CloseRequest SessionSendDue(Session *s) {
    while (!s->pending.empty() && s->pending.front().due <= Clock::now()) {
        const PendingAnswer answer = std::move(s->pending.front());
        s->pending.pop_front();
        if (!SendAll(s->fd, answer.bytes)) return {true, 0};
        if (answer.after.close) return answer.after;
    }
    return {};
}

CloseRequest SessionSendHeld(Board *board, Session *s) {
    (void)board;
    // Answers to earlier packets go first, due or not.
    for (PendingAnswer &answer : s->pending) answer.due = Clock::now();
    const CloseRequest earlier = SessionSendDue(s);
    if (earlier.close) return earlier;
    s->holding = false;
    const bool sent = SendAll(s->fd, s->held_reply);
    s->held_reply.clear();
    if (!sent) return {true, 0};
    if (s->close_after_reply) return {true, s->refuse_ms_after};
    return {};
}

bool SessionSendUnsolicited(Board *board, Session *s, const UnsolicitedAnswer &answer) {
    if (s->fd < 0) return false;
    ReplyHeader header;
    header.code = answer.code;
    header.status = answer.status;
    if (header.code == NET_CMD_SWATH_CREATE) header.swath_state = SWATH_CREAT_OK;
    CountExtraAnswer(&board->faults);
    return SendAll(s->fd, BuildReply(header, board->config.preset));
}

void SessionAbandon(Board *board, Session *s) {
    if (s->in_data) {
        s->cut = true;
        Cut(board, s);
    }
    ResetPacket(s);
    s->holding = false;
    s->held_reply.clear();
    s->close_after_reply = false;
    s->pending.clear();
}

}  // namespace swathboard
