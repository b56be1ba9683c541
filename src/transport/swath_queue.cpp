// Swath assembly and the three-slot queue. One producer (the host thread in
// PrintALine/EndPrint/ClosePrint) and one consumer (the transmit thread) meet
// without a lock: QTail and the slot being filled belong to the producer,
// QHead and the slot being sent to the consumer, and a slot's State is
// written last when it is handed over.
#include "transport/swath_queue.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "transport/command_protocol.h"
#include "transport/net_codes.h"

namespace sl {

namespace {

constexpr uint8_t kQueueSlots = 3;
constexpr uint8_t kSlotFree = 1;
constexpr uint8_t kSlotReady = 2;
constexpr uint8_t kSlotReserved = 5;
constexpr uint32_t kFullPollMs = 50;  // the producer's wait for a free slot
constexpr uint32_t kFullNoteEvery = 100;
constexpr uint32_t kDrainPollMs = 100;

// Assembly state, host thread only.
SwathEntry *gPrevSwath = nullptr;
uint32_t gSwathCount = 0;
uint32_t gBlankSwaths = 0;
uint32_t gBlankFeed = 0;

uint8_t *gSlotData[kQueueSlots];  // the slots' data buffers from the job's memory
uint32_t gSlotBytes = 0;          // data buffer of one slot
uint32_t gSlotPassSeq[kQueueSlots];

uint8_t NextIndex(uint8_t i) { return static_cast<uint8_t>(i + 1 >= kQueueSlots ? 0 : i + 1); }

uint8_t IndexOf(const SwathEntry *e) { return static_cast<uint8_t>(e - gSwathQueue.Slots); }

// Pixels per head unit k as a fraction; only 225/270 dpi is not whole.
struct UnitFactor {
    uint32_t num;
    uint32_t den;
};

UnitFactor UnitFactorFor(uint32_t xdpi) {
    switch (xdpi) {
    case 225:
    case 270: return {3, 2};
    case 300:
    case 360: return {2, 1};
    case 450:
    case 540: return {3, 1};
    case 600:
    case 720: return {4, 1};
    case 900:
    case 1080: return {6, 1};
    case 1200:
    case 1440: return {8, 1};
    case 1800:
    case 2160: return {12, 1};
    case 2400:
    case 2880: return {16, 1};
    default: return {2, 1};
    }
}

uint32_t ToUnits(uint32_t px, UnitFactor k) {
    // k whole: px * 180 / (180 k) is px / k. 225/270 uses the 540 formula
    // (px / 3), doubled.
    return k.den == 1 ? px / k.num : 2 * (px / 3);
}

uint32_t ToPixels(uint32_t units, UnitFactor k) { return units * k.num / k.den; }

uint32_t RoundUpTo(uint32_t n, uint32_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

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

void QueueReset() {
    gSwathQueue.Sendable.store(0);
    gSwathQueue.QHead.store(0);
    gSwathQueue.QTail.store(0);
    Net_Command.CmdStatus.store(0);
    Net_Command.packet[4] = NET_DEBUG_SYNCY;  // the debug sub-code a reused record starts with
    Net_Command.packet[5] = 0;
}

void QueueUseBuffers(uint8_t *const data[], uint32_t slotBytes) {
    for (uint8_t i = 0; i < kQueueSlots; ++i) gSlotData[i] = data ? data[i] : nullptr;
    gSlotBytes = data ? slotBytes : 0;
}

void QueueInit() {
    for (uint8_t i = 0; i < kQueueSlots; ++i) {
        SwathEntry &e = gSwathQueue.Slots[i];
        e.State.store(kSlotFree);
        e.Buffer = gSlotData[i];
        e.Data = e.Buffer;
        if (e.Buffer && gSlotBytes) std::memset(e.Buffer, 0, gSlotBytes);
        gSlotPassSeq[i] = 0;
    }
    gSwathQueue.QHead.store(0);
    gSwathQueue.QTail.store(0);
    gSwathQueue.EmptyRun.store(0);
    gSwathQueue.OverflowReported = 0;
    Net_Command.CmdStatus.store(0);
}

void ResetAssembly() {
    gPrevSwath = nullptr;
    gSwathCount = 0;
    gBlankSwaths = 0;
    gBlankFeed = 0;
}

uint32_t AssemblySwathCount() { return gSwathCount; }
uint32_t AssemblyBlankFeed() { return gBlankFeed; }

uint32_t QueueHandedOut() {
    return (gSwathQueue.QTail.load() + kQueueSlots - gSwathQueue.QHead.load()) % kQueueSlots;
}

int QueueHasSpace() {
    const uint8_t head = gSwathQueue.QHead.load();
    const uint8_t next = NextIndex(gSwathQueue.QTail.load());
    if (next == head) {
        if (!gSwathQueue.OverflowReported) {
            sl_trace("Queue Data Buffer is Overflow!!!! tmpTail = QHead = %d", head);
            gSwathQueue.OverflowReported = 1;
        }
        return 0;
    }
    gSwathQueue.OverflowReported = 0;
    return 1;
}

SwathEntry *QueueGetEmpty() {
    const uint8_t tail = gSwathQueue.QTail.load();
    const uint8_t next = NextIndex(tail);
    if (next == gSwathQueue.QHead.load()) {
        sl_trace("Queue Error.........None EmptySwath!!!!");
        return nullptr;
    }
    gSwathQueue.Slots[next].State.store(kSlotReserved);
    gSwathQueue.QTail.store(next);
    return &gSwathQueue.Slots[tail];
}

void QueueSetReady(SwathEntry *e) {
    gSlotPassSeq[IndexOf(e)] = gPassSeq;
    e->State.store(kSlotReady);
    if (QueueHandedOut() >= 2 || gSwathQueue.EmptyRun.load() == 1) gSwathQueue.Sendable.store(1);
    plat_wake(kWakeQueueReady);
}

SwathEntry *QueueGetReady() {
    const uint8_t head = gSwathQueue.QHead.load();
    if (head == gSwathQueue.QTail.load() || gSwathQueue.Sendable.load() == 0) return nullptr;
    SwathEntry *e = &gSwathQueue.Slots[head];
    return e->State.load() == kSlotReady ? e : nullptr;
}

void QueueFree(SwathEntry *e) {
    e->State.store(kSlotFree);
    gSwathQueue.QHead.store(NextIndex(gSwathQueue.QHead.load()));
    plat_wake(kWakeQueueSpace);
}

uint32_t QueuePassSeqOf(const SwathEntry *e) {
    const auto *slots = gSwathQueue.Slots;
    return e >= slots && e < slots + kQueueSlots ? gSlotPassSeq[IndexOf(e)] : 0;
}

SwathEntry *GetEmptySwathWait(LinkContext *link) {
    uint32_t waits = 0;
    while (link->PrintEndFlag.load() == 0 && link->PrintStopFlag.load() == 0 && !AbortRequested()) {
        const uint32_t seen = plat_wake_count(kWakeQueueSpace);
        if (QueueHasSpace()) return QueueGetEmpty();
        plat_nap_ms(kWakeQueueSpace, seen, kFullPollMs);
        if (++waits % kFullNoteEvery == 0) sl_trace("PC BUFFER_FULL...");
    }
    return nullptr;
}

void WaitAllSwathFinish(LinkContext *link) {
    // A lone published swath (one slot handed out) is otherwise never taken.
    gSwathQueue.Sendable.store(1);
    plat_wake(kWakeQueueReady);
    // Polled often enough that an abort releases the wait at once, woken as
    // soon as a slot is freed; traced once a second.
    for (uint32_t polls = 1;; ++polls) {
        const uint32_t seen = plat_wake_count(kWakeQueueSpace);
        if (gSwathQueue.QHead.load() == gSwathQueue.QTail.load() || link->PrintEndFlag.load() == 1) break;
        if (AbortRequested() || link->PrintStopFlag.load() == 1) break;
        plat_nap_ms(kWakeQueueSpace, seen, kDrainPollMs);
        if (polls % (1000 / kDrainPollMs) == 0)
            sl_trace("WaitAllSwathFinish: H:%d - T:%d", gSwathQueue.QHead.load(), gSwathQueue.QTail.load());
    }
    gSwathQueue.EmptyRun.store(0);
}

// ---------------------------------------------------------------------------
// Assembly.

void RunEmptySwaths(LinkContext *link) {
    while (gBlankFeed > 0) {
        SwathEntry *e = GetEmptySwathWait(link);
        if (!e) return;
        const uint32_t step = gBlankFeed < 32768 ? gBlankFeed : kMaxFeedStep;
        gBlankFeed -= step;
        e->Len = 0;
        e->Pstart = 0;
        e->Pend = 0;
        e->NextStart = 0;
        e->Step = static_cast<uint16_t>(step);
        e->Direction = 0;
        e->Data = e->Buffer;
        e->Mode = 0;
        e->FeedUnits = 0;
        gSwathQueue.EmptyRun.store(1);
        QueueSetReady(e);
        WaitAllSwathFinish(link);
    }
    gBlankFeed = 0;
}

void FlushLastSwath(LinkContext *) {
    if (!gPrevSwath) return;
    gPrevSwath->NextStart = 0;
    QueueSetReady(gPrevSwath);
    gPrevSwath = nullptr;
}

namespace {

uint16_t FiringMode(uint8_t dir) {
    if (gPassInfo.passmode != 1) return 0;
    return UI_CurSetting.Dir == kDirBidirectional && dir == 1 ? 2 : 1;
}

uint32_t NextStartFor(const SwathEntry *prev, uint32_t newStart, uint8_t dir) {
    if (UI_CurSetting.Dir != kDirBidirectional) return newStart;
    return dir == 0 ? std::min(newStart, prev->Pend) : std::max(newStart, prev->Pend);
}

// Bytes that fit a slot once raised to whole blocks, and that lie inside
// the swath buffer the caller formats into.
uint32_t CopyLength(uint32_t columns, uint32_t dataStart) {
    uint64_t len = static_cast<uint64_t>(columns) * kSwathColumnBytes;
    const uint64_t from = static_cast<uint64_t>(dataStart) * kSwathColumnBytes;
    const uint64_t srcRoom = from < kSwathBufferBytes ? kSwathBufferBytes - from : 0;
    const uint64_t slotRoom = gSlotBytes / kSwathLenUnit * kSwathLenUnit;
    len = std::min({len, srcRoom, slotRoom});
    return static_cast<uint32_t>(len);
}

}  // namespace

int AddSwath(const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx, uint32_t widthPx,
             uint32_t step, int countFlag) {
    const SwathPlacement at = SwathPositions(gJobProp.XDPI, dir, startPx, endPx, widthPx);

    if (endPx == 0) {
        if (countFlag) {
            ++gSwathCount;
            ++gBlankSwaths;
        }
        if (gPrevSwath) {
            QueueSetReady(gPrevSwath);
            gPrevSwath = nullptr;
        }
        gBlankFeed += step;
        return 1;
    }

    if (gBlankSwaths > 0) {
        RunEmptySwaths(&gLink);
        gBlankSwaths = 0;
    }

    SwathEntry *e = GetEmptySwathWait(&gLink);
    if (!e) {
        if (AbortRequested() || gLink.PrintStopFlag.load() == 1)
            gLink.ErrorCode.store(kLinkErrorAssemblyStopped);
        return 0;
    }

    // The previous swath needs only this one's start: it goes to the
    // transmit thread before the copy, which then overlaps its sending.
    if (gPrevSwath) {
        gPrevSwath->NextStart = NextStartFor(gPrevSwath, at.Pstart, dir);
        QueueSetReady(gPrevSwath);
    }

    const uint32_t len = CopyLength(at.Columns, at.DataStart);
    if (len) std::memcpy(e->Buffer, src + static_cast<size_t>(at.DataStart) * kSwathColumnBytes, len);
    e->Len = RoundUpTo(len, kSwathLenUnit);
    e->Step = static_cast<uint16_t>(step);
    e->FeedUnits = e->Step == 0 || gPassInfo.ydpi == 0
                       ? 0
                       : static_cast<uint16_t>(gPassInfo.feeddots * 2880 / gPassInfo.ydpi);
    e->Direction = dir;
    e->Data = e->Buffer;
    e->Pstart = at.Pstart;
    e->Pend = at.Pend;
    e->NextStart = at.Pend;
    e->Mode = FiringMode(dir);
    gPrevSwath = e;
    if (countFlag) ++gSwathCount;
    return 1;
}

}  // namespace sl
