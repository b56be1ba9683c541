#include "support/pipeline_harness.h"

#include <cstring>
#include <memory>

#include "api/channel_map.h"
#include "api/job_check.h"
#include "api/job_start.h"
#include "api/job_state.h"
#include "api/line_input.h"
#include "api/memory_plan.h"
#include "api/one_bit.h"
#include "api/print_mode.h"
#include "pipeline/feathering.h"
#include "pipeline/line_intake.h"
#include "pipeline/pass_separation.h"
#include "platform/platform.h"
#include "shared/board_settings.h"
#include "transport/swath_queue.h"

namespace sl::test {

namespace {

uint32_t Hash(uint32_t a, uint32_t b) {
    uint32_t x = a * 0x9E3779B9u ^ (b + 0x7F4A7C15u);
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    return x;
}

uint32_t HostBytesPerLine(const ProofJob &job) { return job.oneBit ? job.width / 8 : job.width / 4; }

// Lines with no ink: about 30% at random, and a band long enough to leave
// whole swaths blank.
bool BlankLine(const ProofJob &job, uint32_t line) {
    const uint32_t ring = job.ydpi / 360 * 360;
    const uint32_t bandStart = ring / 2 + 300;
    if (line >= bandStart && line < bandStart + ring + 720) return true;
    return Hash(job.seed, line) % 10 < 3;
}

// Stripe width or gap of m millimetres at the host's resolution, in bytes:
// the pixel count rounded up to 16 pixels, 4 pixels a byte.
uint32_t StripeMmBytes(uint32_t mm, uint32_t xdpi) {
    uint32_t px = static_cast<uint32_t>(mm * xdpi / 25.4);
    return ((px + 15) & ~15u) / 4;
}

// The parts of a printer a job record points at.
struct HarnessPrinter {
    JobRequests requests;
    StatusFile statusFile;
    LinkAddresses addresses;
    uint8_t *heartbeat = nullptr;
    std::unique_ptr<Job> job;
};
HarnessPrinter gHarness;

Status TakeBySink(void *sink, const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx,
                  uint32_t widthPx, uint32_t step, int countFlag) {
    return reinterpret_cast<SwathSink>(sink)(src, dir, startPx, endPx, widthPx, step, countFlag);
}

}  // namespace

SwathHandOff HandOffTo(SwathSink sink) { return {&TakeBySink, reinterpret_cast<void *>(sink)}; }

Job *HarnessJob() { return gHarness.job.get(); }

UISetupPara ProofBoardSettings(const ProofJob &job) {
    UISetupPara ui{};
    ui.sig[0] = 0x55;
    ui.sig[1] = 0x49;
    ui.ver = 1;
    ui.Dir = job.bidirectional ? 11 : 0;
    ui.chantable[0] = job.softenByte;
    ui.chantable[6] = job.stripeMode;
    ui.StripeSize = job.stripeSize;
    ui.CurFWVersion = 700;
    // Channel gaps of a real head scaled to each class's resolution, a few
    // slices of fine alignment, and a bidirectional correction.
    const uint32_t classDpi[8] = {225, 300, 450, 600, 900, 1200, 1800, 2400};
    for (uint8_t cls = 0; cls < 8; ++cls) {
        const uint32_t in = 18 * classDpi[cls] / 360, out = 37 * classDpi[cls] / 360;
        StoreGroupByte(&ui, cls, kGroupIngroup, static_cast<uint8_t>(in > 255 ? 255 : in));
        StoreGroupByte(&ui, cls, kGroupOutgroup, static_cast<uint8_t>(out > 255 ? 255 : out));
        for (uint8_t b : {kGroupVsd4, kGroupVsd3, kGroupHigh, kGroupLow}) StoreGroupByte(&ui, cls, b, 2);
    }
    const int8_t l[8] = {2, -3, 1, 0, -2, 3, -1, 2}, r[8] = {-3, 2, -1, 1, 0, -2, 3, -3};
    for (int ch = 0; ch < 8; ++ch) {
        ui.x360_lalign[ch] = ui.x720_lalign[ch] = l[ch];
        ui.x360_ralign[ch] = ui.x720_ralign[ch] = r[ch];
    }
    for (uint32_t n : {1u, 2u, 3u, 4u, 6u, 8u, 12u, 16u}) StoreStepCalibration(&ui, n, 35860);
    return ui;
}

bool SetUpPipelineJob(const ProofJob &pj, const UISetupPara &ui) {
    gHarness.job = std::make_unique<Job>(&gHarness.requests, &gHarness.statusFile, &gHarness.addresses,
                                         &gHarness.heartbeat);
    Job *const j = gHarness.job.get();
    j->print.board = ui;
    JobProp job{};
    job.XDPI = pj.xdpi;
    job.YDPI = pj.ydpi;
    job.BytesPerLine = HostBytesPerLine(pj);
    job.Height = pj.height;
    job.Width = pj.width;
    job.Colors = pj.colors;
    if (JobPropProblem(&job)) return false;
    // As StartPrint, with the board's settings already in place.
    PrepareJob(j, &job, plat_prnlog_dir());
    if (j->host.oneBitInput) BuildDotSizeTable(pj.dotSize, j->host.dotSizeTable);
    if (!TakeJobMemory(j)) return false;
    Adjust720(&j->print, XdpiIs720(j));
    if (!PlanJob(j)) {
        gHarness.job.reset();
        return false;
    }
    SetUpPipeline(j);
    j->totalLines = 0;
    return true;
}

void TearDownPipelineJob() { gHarness.job.reset(); }

void MakeHostLine(const ProofJob &job, uint32_t line, std::vector<uint8_t> &out) {
    const uint32_t bpl = HostBytesPerLine(job);
    out.assign(static_cast<size_t>(bpl) * job.colors, 0);
    if (BlankLine(job, line)) return;
    for (size_t i = 0; i < out.size(); ++i) {
        uint32_t h = Hash(job.seed ^ 0xA511E9B3u, line * 0x10001u + static_cast<uint32_t>(i));
        // Mostly dense, some sparse stretches.
        out[i] = (h >> 24) < 40 ? 0 : static_cast<uint8_t>(h);
    }
}

Status FeedHostLine(const ProofJob &, const uint8_t *line, SwathSink sink) {
    return FeedLine(HarnessJob(), line, HandOffTo(sink));
}

bool FinishJob(const ProofJob &job, SwathSink sink) {
    static const uint8_t empty[kEmptyLineBytes] = {};
    auto feed = [&](uint32_t n) {
        for (uint32_t i = 0; i < n; ++i)
            if (!FeedHostLine(job, empty, sink).ok()) return false;
        return true;
    };
    return feed(LinesToCompleteSwath(HarnessJob())) && feed(FlushLines(HarnessJob()));
}

// --- the proof ---------------------------------------------------------------

namespace {

struct Proof {
    const ProofJob *job;
    ProofResult *result;
    uint32_t rowPixels;    // pixels of a strip row
    uint32_t linePitch;    // image lines between neighbouring nozzles
    int64_t paperToImage;  // image line = paper line - this
    uint64_t fed = 0;      // paper fed before the current swath, in lines
    uint8_t channelOfBit[8];
    // Per plane, line and strip pixel: prints (bits 2..3) and level (0..1).
    std::vector<uint8_t> hits[4];

    void Problem(const char *what, uint32_t plane, int64_t line, int64_t x) {
        if (!result->firstProblem.empty()) return;
        char buf[200];
        std::snprintf(buf, sizeof buf, "%s: plane %u line %lld pixel %lld (swath %u)", what, plane,
                      static_cast<long long>(line), static_cast<long long>(x), result->swaths);
        result->firstProblem = buf;
    }
};

Proof *gProof;

// The strip row PrintALine should store for an image line: the line, its
// stripes and gaps where the board settings put them, zeros elsewhere.
void ExpectedRow(const ProofJob &job, uint32_t line, uint32_t plane, const std::vector<uint8_t> &host,
                 std::vector<uint8_t> &row) {
    std::fill(row.begin(), row.end(), 0);
    const uint32_t width = StripeMmBytes(job.stripeSize & 0x0F, job.xdpi);
    const uint32_t gap = StripeMmBytes(job.stripeSize >> 4, job.xdpi);
    const uint32_t s = (job.stripeMode & 2) ? width : 0, sg = (job.stripeMode & 2) ? gap : 0;
    const uint32_t e = (job.stripeMode & 1) ? width : 0, eg = (job.stripeMode & 1) ? gap : 0;
    const uint32_t hostBytes = HostBytesPerLine(job);
    const uint32_t len = job.oneBit ? 2 * hostBytes : hostBytes;
    const uint8_t *src = host.data() + static_cast<size_t>(plane) * hostBytes;
    (void)line;
    for (uint32_t b = 0; b < hostBytes; ++b) {
        if (!job.oneBit) {
            row[s + sg + b] = src[b];
            continue;
        }
        // Each 1-bit pixel becomes a dot of the job's dot size.
        for (uint32_t k = 0; k < 8; ++k)
            if (src[b] & (0x80 >> k))
                row[s + sg + 2 * b + k / 4] |= static_cast<uint8_t>(job.dotSize << (6 - 2 * (k % 4)));
    }
    if (plane < 4) {
        for (uint32_t i = 0; i < s / 4; ++i) row[plane * (s / 4) + i] = 0xFF;
        for (uint32_t i = 0; i < e / 4; ++i) row[s + sg + len + eg + (3 - plane) * (e / 4) + i] = 0xFF;
    }
}

Status CheckSwath(const uint8_t *src, uint8_t dir, uint32_t startPx, uint32_t endPx, uint32_t widthPx,
                  uint32_t, int) {
    Proof &pr = *gProof;
    ProofResult &res = *pr.result;
    const Job *const j = HarnessJob();
    const PassInfo &gPassInfo = j->print.pass;
    const uint64_t fedBefore = pr.fed;
    pr.fed += gPassInfo.feeddots;
    res.feeds.push_back(gPassInfo.feeddots);
    ++res.swaths;
    if (endPx == 0) {
        ++res.blankSwaths;
        return Status::Good();
    }
    if (dir != L_TO_R) ++res.rightToLeft;
    const uint32_t q = gPassInfo.seq - 1;
    const uint32_t odd = gPassInfo.passmode ? ColumnSplitOdd(gPassInfo.PassNum, q) : 0;
    const ChannelPlacement place = PlacementFor(dir, j->print.prop.XDPI, &j->print.board,
                                                j->slices.printSliceNum, DotSizeClass(&j->print));
    const SwathPlacement win = SwathPositions(j->print.prop.XDPI, dir, startPx, endPx, widthPx);
    const int64_t bpl = gPassInfo.bytesperline;
    for (uint64_t s = win.DataStart; s < uint64_t{win.DataStart} + win.Columns; ++s) {
        const uint8_t *slice = src + s * kSliceBytes;
        for (uint32_t n = 0; n < 180; ++n) {
            const uint8_t hi = slice[n], lo = slice[180 + n];
            uint8_t bits = hi | lo;
            while (bits) {
                const uint32_t b = static_cast<uint32_t>(__builtin_ctz(bits));
                bits &= static_cast<uint8_t>(bits - 1);
                const uint8_t ch = pr.channelOfBit[b];
                const uint8_t level = static_cast<uint8_t>(((hi >> b) & 1) << 1 | ((lo >> b) & 1));
                const int slot = ch < 8 ? ChannelSlot(&j->pipeline.format, ch) : -1;
                const int64_t p =
                    dir == L_TO_R ? int64_t(s) - place.offset[ch] : int64_t(place.offset[ch]) - int64_t(s);
                if (slot < 0 || p < 0 || p >= 4 * bpl) {
                    ++res.stray;
                    pr.Problem("ink on no pass pixel", 9, -1, p);
                    continue;
                }
                const uint32_t plane = kSlotOfPlane[slot];
                const uint32_t j = 2 * n + ((ch & 1) ? 0 : 1);
                const int64_t line = int64_t(fedBefore) + int64_t(j) * pr.linePitch - pr.paperToImage;
                const int64_t x = gPassInfo.passmode ? 2 * p + odd : p;
                if (plane >= 4 || line < 0 || line >= pr.job->height || x >= pr.rowPixels) {
                    ++res.stray;
                    pr.Problem("ink outside the image", plane, line, x);
                    continue;
                }
                uint8_t &cell = pr.hits[plane][size_t(line) * pr.rowPixels + size_t(x)];
                if ((cell >> 2) == 3) continue;
                cell = static_cast<uint8_t>((((cell >> 2) + 1) << 2) | level);
            }
        }
    }
    return Status::Good();
}

}  // namespace

ProofResult RunProof(const ProofJob &job) {
    ProofResult res;
    const UISetupPara ui = ProofBoardSettings(job);
    if (!SetUpPipelineJob(job, ui)) {
        res.firstProblem = "job refused";
        res.missing = 1;
        return res;
    }
    const Job *const j = HarnessJob();
    const PassInfo &gPassInfo = j->print.pass;
    const Feathering &gFeather = j->pipeline.feather;
    res.passNum = gPassInfo.PassNum;
    res.softLines = gFeather.softLines;
    res.softenDots = gPassInfo.softendots;
    res.linesPerPass = gPassInfo.LinesPerPass;
    const uint32_t used = gPassInfo.softendots * gPassInfo.PassNum + gFeather.softLines;
    res.idleRows = used >= 360 ? 0 : 360 - used;
    Proof pr;
    pr.job = &job;
    pr.result = &res;
    pr.rowPixels = 4 * j->print.prop.BytesPerLine;
    pr.linePitch = gPassInfo.ydpi / 360;
    // The paper under nozzle 0 of the first pass carries the strip line that
    // the first pass reads there: the ring's blank head, then the image.
    const uint32_t n = gPassInfo.PassNum;
    const uint32_t firstPhase = gPassInfo.passmode ? n / 2 - 1 : (n == 1 ? 0 : n - 1);
    pr.paperToImage =
        int64_t(j->pipeline.intake.linesPerStrip) - int64_t(gPassInfo.LinesPerPass) - firstPhase;
    for (auto &b : pr.channelOfBit) b = 0xFF;
    for (uint8_t ch = 0; ch < 8; ++ch)
        if (j->pipeline.format.planemap[ch] < 8) pr.channelOfBit[j->pipeline.format.planemap[ch]] = ch;
    const uint32_t planes = job.colors < 4 ? job.colors : 4;
    for (uint32_t p = 0; p < planes; ++p) pr.hits[p].assign(size_t(job.height) * pr.rowPixels, 0);
    gProof = &pr;

    std::vector<uint8_t> host;
    for (uint32_t line = 0; line < job.height; ++line) {
        MakeHostLine(job, line, host);
        FeedHostLine(job, host.data(), &CheckSwath);
    }
    FinishJob(job, &CheckSwath);
    gProof = nullptr;

    // Every pixel: printed once at its level, or not at all when blank.
    std::vector<uint8_t> row(pr.rowPixels / 4);
    for (uint32_t line = 0; line < job.height; ++line) {
        MakeHostLine(job, line, host);
        for (uint32_t p = 0; p < planes; ++p) {
            ExpectedRow(job, line, p, host, row);
            const uint8_t *cells = pr.hits[p].data() + size_t(line) * pr.rowPixels;
            for (uint32_t x = 0; x < pr.rowPixels; ++x) {
                const uint8_t want = (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
                const uint8_t prints = cells[x] >> 2, level = cells[x] & 3;
                if (want) ++res.inked;
                if (!want && prints) {
                    ++res.stray;
                    pr.Problem("printed where the input is blank", p, line, x);
                } else if (want && prints == 0) {
                    ++res.missing;
                    pr.Problem("never printed", p, line, x);
                } else if (prints > 1) {
                    ++res.doubled;
                    pr.Problem("printed twice", p, line, x);
                } else if (want && level != want) {
                    ++res.wrongLevel;
                    pr.Problem("printed at the wrong level", p, line, x);
                } else if (want) {
                    ++res.printed;
                }
            }
        }
    }
    TearDownPipelineJob();
    return res;
}

}  // namespace sl::test
