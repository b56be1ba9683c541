// Swath assembly and the three-slot queue. One producer (the host thread in
// PrintALine/EndPrint/ClosePrint) and one consumer (the transmit thread) meet
// without a lock: QTail and the slot being filled belong to the producer,
// QHead and the slot being sent to the consumer, and a slot's State is
// written last when it is handed over.
#include "transport/swath_queue.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/platform.h"
#include "transport/command_protocol.h"
#include "transport/net_codes.h"

namespace sl {

namespace {

constexpr uint8_t kSlotFree = 1;
constexpr uint8_t kSlotReady = 2;
constexpr uint8_t kSlotReserved = 5;
constexpr uint32_t kFullPollMs = 50;  // the producer's wait for a free slot
constexpr uint32_t kFullNoteEvery = 100;
constexpr uint32_t kDrainPollMs = 100;

uint8_t NextIndex(uint8_t i) { return static_cast<uint8_t>(i + 1 >= kQueueSlots ? 0 : i + 1); }

uint8_t IndexOf(const JobLink *link, const SwathEntry *e) {
    return static_cast<uint8_t>(e - link->queue.Slots);
}

// Pixels per head unit k as a fraction; only 225/270 dpi is not whole.
struct UnitFactor {
    uint32_t num;
    uint32_t den;
};

// The position table: a row for each X resolution pair the head places.
std::optional<UnitFactor> PositionRow(uint32_t xdpi) {
    switch (xdpi) {
    case 225:
    case 270: return UnitFactor{3, 2};
    case 300:
    case 360: return UnitFactor{2, 1};
    case 450:
    case 540: return UnitFactor{3, 1};
    case 600:
    case 720: return UnitFactor{4, 1};
    case 900:
    case 1080: return UnitFactor{6, 1};
    case 1200:
    case 1440: return UnitFactor{8, 1};
    case 1800:
    case 2160: return UnitFactor{12, 1};
    case 2400:
    case 2880: return UnitFactor{16, 1};
    default: return std::nullopt;
    }
}

// A resolution without a row is placed as 360 dpi; the job check refuses
// such jobs before they start.
UnitFactor UnitFactorFor(uint32_t xdpi) { return PositionRow(xdpi).value_or(UnitFactor{2, 1}); }

uint32_t ToUnits(uint32_t px, UnitFactor k) {
    // k whole: px * 180 / (180 k) is px / k. 225/270 uses the 540 formula
    // (px / 3), doubled.
    return k.den == 1 ? px / k.num : 2 * (px / 3);
}

uint32_t ToPixels(uint32_t units, UnitFactor k) { return units * k.num / k.den; }

uint32_t RoundUpTo(uint32_t n, uint32_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

bool HasHeadPositions(uint32_t xdpi) { return PositionRow(xdpi).has_value(); }

SwathPlacement SwathPositions(uint32_t xdpi, uint8_t dir, uint32_t startPx, uint32_t endPx,
                              uint32_t widthPx) {
    const UnitFactor k = UnitFactorFor(xdpi);
    // Rounds the end up to the next head unit: k - 1 pixels (2 for 3/2).
    const uint32_t round = k.den == 1 ? k.num - 1 : 2;
    const uint32_t startU = ToUnits(startPx, k);
    const uint32_t endU = ToUnits(endPx + round, k);
    uint32_t ps = dir == 0 ? startU : endU;
    uint32_t pe = dir == 0 ? endU : startU;
    // 225/270 dpi ends on a multiple of 16 units. Rounded to the nearest,
    // a left-to-right swath could end up to 8 units (12 pixels) short of its
    // last inked column, which would never print: its end is rounded up.
    // The right-to-left end is the left edge, widened by 32 units below.
    if (k.den != 1) pe = dir == 0 ? (pe + 15) & ~15u : (pe + 7) & ~15u;

    if (dir == 0) {
        if (ps > 0) ps -= 1;
    } else if (ps < widthPx) {
        ps += 1;
    }
    ps &= ~1u;
    if (dir == 0) {
        if (pe < widthPx) pe += 1;
    } else {
        pe = pe < 32 ? 0 : pe - 32;
    }
    pe = (pe + 1) & ~1u;

    const uint32_t diff = pe > ps ? pe - ps : ps - pe;
    SwathPlacement out;
    out.Pstart = ps;
    out.Pend = pe;
    out.Columns = ToPixels(diff + (diff != 0 ? 1 : 0), k);
    out.DataStart = ToPixels(ps, k);
    if (dir != 0) {
        // A position past the line's end has no data before it; start at
        // the buffer's first column rather than wrap around.
        out.DataStart = out.DataStart <= widthPx ? widthPx - out.DataStart : 0;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Queue.

void QueueUseBuffers(JobLink *link, uint8_t *const data[], uint32_t slotBytes) {
    for (uint8_t i = 0; i < kQueueSlots; ++i) link->slots.data[i] = data ? data[i] : nullptr;
    link->slots.bytes = data ? slotBytes : 0;
}

void QueueInit(JobLink *link) {
    for (uint8_t i = 0; i < kQueueSlots; ++i) {
        SwathEntry &e = link->queue.Slots[i];
        e.State.store(kSlotFree);
        e.Buffer = link->slots.data[i];
        e.Data = e.Buffer;
        if (e.Buffer && link->slots.bytes) std::memset(e.Buffer, 0, link->slots.bytes);
        link->slots.passSeq[i] = 0;
    }
    link->queue.QHead.store(0);
    link->queue.QTail.store(0);
    link->queue.EmptyRun.store(0);
    link->queue.OverflowReported = 0;
}

uint32_t AssemblySwathCount(const JobLink *link) { return link->assembly.swathCount; }
uint32_t AssemblyBlankFeed(const JobLink *link) { return link->assembly.blankFeed; }

uint32_t QueueHandedOut(const JobLink *link) {
    return (link->queue.QTail.load() + kQueueSlots - link->queue.QHead.load()) % kQueueSlots;
}

int QueueHasSpace(JobLink *link) {
    const uint8_t head = link->queue.QHead.load();
    const uint8_t next = NextIndex(link->queue.QTail.load());
    if (next == head) {
        if (!link->queue.OverflowReported) {
            sl_trace("Queue Data Buffer is Overflow!!!! tmpTail = QHead = %d", head);
            link->queue.OverflowReported = 1;
        }
        return 0;
    }
    link->queue.OverflowReported = 0;
    return 1;
}

SwathEntry *QueueGetEmpty(JobLink *link) {
    const uint8_t tail = link->queue.QTail.load();
    const uint8_t next = NextIndex(tail);
    if (next == link->queue.QHead.load()) {
        sl_trace("Queue Error.........None EmptySwath!!!!");
        return nullptr;
    }
    link->queue.Slots[next].State.store(kSlotReserved);
    link->queue.QTail.store(next);
    return &link->queue.Slots[tail];
}

void QueueSetReady(JobLink *link, SwathEntry *e) {
    link->slots.passSeq[IndexOf(link, e)] = link->job->pass.seq;
    e->State.store(kSlotReady);
    if (QueueHandedOut(link) >= 2 || link->queue.EmptyRun.load() == 1) link->queue.Sendable.store(1);
    plat_signal_raise(link->queue.ready);
}

SwathEntry *QueueGetReady(JobLink *link) {
    const uint8_t head = link->queue.QHead.load();
    if (head == link->queue.QTail.load() || link->queue.Sendable.load() == 0) return nullptr;
    SwathEntry *e = &link->queue.Slots[head];
    return e->State.load() == kSlotReady ? e : nullptr;
}

void QueueFree(JobLink *link, SwathEntry *e) {
    e->State.store(kSlotFree);
    link->queue.QHead.store(NextIndex(link->queue.QHead.load()));
    plat_signal_raise(link->queue.space);
}

uint32_t QueuePassSeqOf(const JobLink *link, const SwathEntry *e) {
    const auto *slots = link->queue.Slots;
    return e >= slots && e < slots + kQueueSlots ? link->slots.passSeq[IndexOf(link, e)] : 0;
}

SwathEntry *GetEmptySwathWait(JobLink *link) {
    uint32_t waits = 0;
    while (!link->PrintEndFlag.load() && !link->PrintStopFlag.load() && !AbortRequested(link)) {
        const uint32_t seen = plat_signal_count(link->queue.space);
        if (QueueHasSpace(link)) return QueueGetEmpty(link);
        plat_signal_wait(link->queue.space, seen, plat_scaled_ms(kFullPollMs));
        if (++waits % kFullNoteEvery == 0) sl_trace("PC BUFFER_FULL...");
    }
    return nullptr;
}

void WaitAllSwathFinish(JobLink *link) {
    // A lone published swath (one slot handed out) is otherwise never taken.
    link->queue.Sendable.store(1);
    plat_signal_raise(link->queue.ready);
    // Polled often enough that an abort releases the wait at once, woken as
    // soon as a slot is freed; traced once a second.
    for (uint32_t polls = 1;; ++polls) {
        const uint32_t seen = plat_signal_count(link->queue.space);
        if (link->queue.QHead.load() == link->queue.QTail.load() || link->PrintEndFlag.load()) break;
        if (AbortRequested(link) || link->PrintStopFlag.load()) break;
        plat_signal_wait(link->queue.space, seen, plat_scaled_ms(kDrainPollMs));
        if (polls % (1000 / kDrainPollMs) == 0)
            sl_trace("WaitAllSwathFinish: H:%d - T:%d", link->queue.QHead.load(), link->queue.QTail.load());
    }
    link->queue.EmptyRun.store(0);
}

// ---------------------------------------------------------------------------
// Assembly.

void RunEmptySwaths(JobLink *link) {
    while (link->assembly.blankFeed > 0) {
        SwathEntry *e = GetEmptySwathWait(link);
        if (!e) return;
        const uint32_t step = link->assembly.blankFeed < 32768 ? link->assembly.blankFeed : kMaxFeedStep;
        link->assembly.blankFeed -= step;
        e->Len = 0;
        e->Pstart = 0;
        e->Pend = 0;
        e->NextStart = 0;
        e->Step = static_cast<uint16_t>(step);
        e->Direction = 0;
        e->Data = e->Buffer;
        e->Mode = 0;
        e->FeedUnits = 0;
        link->queue.EmptyRun.store(1);
        QueueSetReady(link, e);
        WaitAllSwathFinish(link);
    }
    link->assembly.blankFeed = 0;
}

void FlushLastSwath(JobLink *link) {
    if (!link->assembly.held) return;
    link->assembly.held->NextStart = 0;
    QueueSetReady(link, link->assembly.held);
    link->assembly.held = nullptr;
}

namespace {

uint16_t FiringMode(const JobLink *link, uint8_t dir) {
    if (link->job->pass.passmode != 1) return 0;
    return link->job->board.Dir == kDirBidirectional && dir == 1 ? 2 : 1;
}

uint32_t NextStartFor(const JobLink *link, const SwathEntry *prev, uint32_t newStart, uint8_t dir) {
    if (link->job->board.Dir != kDirBidirectional) return newStart;
    return dir == 0 ? std::min(newStart, prev->Pend) : std::max(newStart, prev->Pend);
}

// Bytes that fit a slot once raised to whole blocks, and that lie inside
// the swath buffer the caller formats into.
uint32_t CopyLength(const JobLink *link, uint32_t columns, uint32_t dataStart) {
    uint64_t len = static_cast<uint64_t>(columns) * kSwathColumnBytes;
    const uint64_t from = static_cast<uint64_t>(dataStart) * kSwathColumnBytes;
    const uint64_t srcRoom = from < kSwathBufferBytes ? kSwathBufferBytes - from : 0;
    const uint64_t slotRoom = link->slots.bytes / kSwathLenUnit * kSwathLenUnit;
    len = std::min({len, srcRoom, slotRoom});
    return static_cast<uint32_t>(len);
}

}  // namespace

Status AddSwath(JobLink *link, const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx,
                uint32_t widthPx, uint32_t step, int countFlag) {
    const SwathPlacement at = SwathPositions(link->job->prop.XDPI, dir, startPx, endPx, widthPx);

    if (endPx == 0) {
        if (countFlag) {
            ++link->assembly.swathCount;
            ++link->assembly.blankSwaths;
        }
        if (link->assembly.held) {
            QueueSetReady(link, link->assembly.held);
            link->assembly.held = nullptr;
        }
        link->assembly.blankFeed += step;
        return Status::Good();
    }

    if (link->assembly.blankSwaths > 0) {
        RunEmptySwaths(link);
        link->assembly.blankSwaths = 0;
    }

    SwathEntry *e = GetEmptySwathWait(link);
    if (!e) {
        const bool aborted = AbortRequested(link), stopped = link->PrintStopFlag.load();
        if (aborted || stopped) link->ErrorCode.store(kLinkErrorAssemblyStopped);
        if (aborted) return Status::Bad(StatusCode::Aborted, "the job was aborted");
        if (stopped) return Status::Bad(StatusCode::Stopped, "the board stopped the job");
        return Status::Bad(StatusCode::Failed, "the link to the board ended");
    }

    // The previous swath needs only this one's start: it goes to the
    // transmit thread before the copy, which then overlaps its sending.
    if (link->assembly.held) {
        link->assembly.held->NextStart = NextStartFor(link, link->assembly.held, at.Pstart, dir);
        QueueSetReady(link, link->assembly.held);
    }

    const uint32_t len = CopyLength(link, at.Columns, at.DataStart);
    if (len) std::memcpy(e->Buffer, src + static_cast<size_t>(at.DataStart) * kSwathColumnBytes, len);
    e->Len = RoundUpTo(len, kSwathLenUnit);
    e->Step = static_cast<uint16_t>(step);
    e->FeedUnits = e->Step == 0 || link->job->pass.ydpi == 0
                       ? 0
                       : static_cast<uint16_t>(link->job->pass.feeddots * 2880 / link->job->pass.ydpi);
    e->Direction = dir;
    e->Data = e->Buffer;
    e->Pstart = at.Pstart;
    e->Pend = at.Pend;
    e->NextStart = at.Pend;
    e->Mode = FiringMode(link, dir);
    link->assembly.held = e;
    if (countFlag) ++link->assembly.swathCount;
    return Status::Good();
}

}  // namespace sl
