// Raster pipeline speed: pass separation per pass, formatting per swath, the
// whole per-swath path, the plain reference kernels and memcpy, on a 1.6 m
// wide job and a narrow one, with the ratios printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "api/job_state.h"
#include "api/print_mode.h"
#include "bench_jobs.h"
#include "pipeline/pass_separation.h"
#include "pipeline/simd_support.h"
#include "pipeline/swath_format.h"
#include "support/pipeline_harness.h"
#include "support/reference_kernels.h"
#include "transport/swath_queue.h"

namespace sl {
namespace {

// --- one job's buffers for the kernels --------------------------------------

struct KernelRig {
    uint32_t bpl;
    uint32_t lines;  // strip lines: 4 passes at 1440 dpi
    std::vector<uint8_t> strip[4];
    std::vector<uint32_t> order;
    std::vector<uint8_t> table;
    std::vector<uint8_t> pass[6];
    uint8_t *passPtr[6];
    std::vector<uint8_t> swath;
    SwathCanvas canvas;
    PassSource src;
    SoftenTable soften;
    PassInfo pi;
    FormatInfo fmt;
    ChannelPlacement place[2];
    uint32_t sliceNum;

    explicit KernelRig(const BenchWidth &w) : bpl(w.bytesPerLine), lines(1440) {
        std::mt19937 rng(7);
        for (auto &p : strip) {
            p.resize(size_t(lines) * bpl);
            for (auto &b : p) b = static_cast<uint8_t>(rng());
            for (uint32_t r = 0; r < lines; ++r)
                if (rng() % 10 < 3) std::memset(p.data() + size_t(r) * bpl, 0, bpl);
        }
        order.resize(lines);
        for (uint32_t i = 0; i < lines; ++i) order[i] = (i * 7 + 3) % lines;
        table.assign(360 * 880, 0);
        for (auto &b : table)
            b = static_cast<uint8_t>(rng() & 0xCC) | static_cast<uint8_t>((rng() & 0xCC) >> 2);
        for (int s = 0; s < 6; ++s) {
            pass[s].assign(size_t(360) * bpl, 0);
            passPtr[s] = pass[s].data();
        }
        for (int i = 0; i < 4; ++i) src.plane[i] = strip[i].data();
        src.plane[4] = src.plane[5] = strip[0].data();
        src.stride = bpl;
        src.lineOrder = order.data();
        soften = {table.data(), 880, 108};
        pi = {};
        pi.PassNum = 4;
        pi.colors = 4;
        pi.bytesperline = bpl;
        pi.ydpi = 1440;
        pi.nozzledpi = 360;
        pi.softendots = 63;
        pi.seqstep = 2;
        // Fill the pass buffers once with a real pass for the formatter.
        pi.seq = 0;
        SeparatePass(&src, passPtr, &soften, &pi, ProcessorKernelWidth());

        fmt = BuiltinFormat(bpl, 4, L_TO_R);
        sliceNum = BenchSliceNum(w);
        place[0] = BenchPlacement(L_TO_R, sliceNum);
        place[1] = BenchPlacement(R_TO_L, sliceNum);
        swath.assign(size_t(2) * MAX_SLICE_NUMBER * kSliceBytes, 0);
        SwathCanvasInit(&canvas, swath.data(), 2 * MAX_SLICE_NUMBER, 1);
    }
    // Bytes of formatted swath one format writes (the data the board can get).
    double SwathBytes() const { return double(4 * bpl + 400) * kSliceBytes; }
    double PassBytes() const { return double(360) * 4 * bpl; }
};

KernelRig &Rig(int which) {
    static KernelRig wide(kWide), narrow(kNarrow);
    return which ? narrow : wide;
}

const char *WidthName(int which) { return which ? "narrow" : "wide"; }

// range(1): 1 = the kernels a job would choose, 0 = the x86-64-v2 baseline.
KernelWidth Isa(const benchmark::State &state) {
    return state.range(1) != 0 ? ProcessorKernelWidth() : KernelWidth::Baseline;
}

std::string Label(const benchmark::State &state) {
    std::string l = WidthName(static_cast<int>(state.range(0)));
    if (state.range(1) == 0)
        l += ", x86-64-v2";
    else if (CpuHasAvx2())
        l += ", avx2";
    return l;
}

// --- (a) pass separation ---------------------------------------------------------

void BM_PassSeparation(benchmark::State &state) {
    const KernelWidth isa = Isa(state);
    KernelRig &r = Rig(static_cast<int>(state.range(0)));
    uint32_t q = 0;
    for (auto _ : state) {
        PassInfo pi = r.pi;
        pi.seq = q++;
        SeparatePass(&r.src, r.passPtr, &r.soften, &pi, isa);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * r.PassBytes()));
    state.SetLabel(Label(state));
}

// The same rows with plain memcpy: the bound for separating a pass.
void BM_MemcpyPassRows(benchmark::State &state) {
    KernelRig &r = Rig(static_cast<int>(state.range(0)));
    uint32_t q = 0;
    for (auto _ : state) {
        uint32_t v = 3 - (q++ & 3);
        for (int i = 0; i < 4; ++i)
            for (uint32_t j = 0; j < 360; ++j)
                std::memcpy(r.passPtr[i] + size_t(j) * r.bpl,
                            r.src.plane[i] + size_t(r.order[j * 4 + v]) * r.bpl, r.bpl);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * r.PassBytes()));
    state.SetLabel(WidthName(static_cast<int>(state.range(0))));
}

void BM_ReferencePassSeparation(benchmark::State &state) {
    KernelRig &r = Rig(static_cast<int>(state.range(0)));
    uint32_t q = 0;
    for (auto _ : state) {
        PassInfo pi = r.pi;
        uint32_t seq = q++;
        ref::PassProcess(&r.src, r.passPtr, &r.soften, &pi, &seq);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * r.PassBytes()));
    state.SetLabel(WidthName(static_cast<int>(state.range(0))));
}

// --- (b) formatting ---------------------------------------------------------------

void BM_Format(benchmark::State &state) {
    const KernelWidth isa = Isa(state);
    KernelRig &r = Rig(static_cast<int>(state.range(0)));
    // Restore the formatter's input: the pass benchmarks reuse the buffers.
    PassInfo pi = r.pi;
    pi.seq = 0;
    SeparatePass(&r.src, r.passPtr, &r.soften, &pi, isa);
    int dir = 0;
    for (auto _ : state) {
        r.fmt.direction = static_cast<int8_t>(dir);
        uint32_t s, e;
        FormatSwath(r.passPtr, &r.canvas, &r.fmt, &r.place[dir], &s, &e, isa);
        benchmark::DoNotOptimize(e);
        dir ^= 1;
    }
    state.SetBytesProcessed(int64_t(state.iterations() * r.SwathBytes()));
    state.SetLabel(Label(state));
}

void BM_ReferenceFormat(benchmark::State &state) {
    KernelRig &r = Rig(static_cast<int>(state.range(0)));
    PassInfo pi = r.pi;
    pi.seq = 0;
    SeparatePass(&r.src, r.passPtr, &r.soften, &pi, ProcessorKernelWidth());
    r.fmt.direction = L_TO_R;
    for (auto _ : state) {
        uint32_t s, e;
        // The plain kernel clears the slices of the swath size before every format.
        ref::FormatProcess360(r.passPtr, r.swath.data(), BenchMaxSwathSlices(r.sliceNum), &r.fmt, &r.place[0],
                              &s, &e);
        benchmark::DoNotOptimize(e);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * r.SwathBytes()));
    state.SetLabel(WidthName(static_cast<int>(state.range(0))));
    // Leave the canvas consistent for later formats.
    SwathCanvasInit(&r.canvas, r.swath.data(), 2 * MAX_SLICE_NUMBER, 0);
}

// --- (e) memcpy -------------------------------------------------------------------

void BM_Memcpy64MiB(benchmark::State &state) {
    static std::vector<uint8_t> a(64u << 20, 1), b(64u << 20, 2);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.size()));
}

// --- (c) the whole per-swath path ---------------------------------------------------

// The hand-off of the queue replaced by one that only counts the bytes the
// queue would copy.
double gHandedBytes;
Status CountOnly(const uint8_t *, uint8_t dir, uint32_t startPx, uint32_t endPx, uint32_t widthPx, uint32_t,
                 int) {
    if (endPx)
        gHandedBytes +=
            double(
                SwathPositions(test::HarnessJob()->print.prop.XDPI, dir, startPx, endPx, widthPx).Columns) *
            kSliceBytes;
    return Status::Good();
}

struct PathJob {
    test::ProofJob job;
    std::vector<std::vector<uint8_t>> lines;  // a pool of raster lines, about 30% blank
    uint32_t next = 0;
};

PathJob &CurrentPathJob(int which) {
    static PathJob jobs[2];
    static int current = -1;
    PathJob &p = jobs[which];
    if (current != which) {
        if (current >= 0) test::TearDownPipelineJob();
        p.job.xdpi = 360;
        p.job.ydpi = 1440;
        p.job.width = which ? kNarrow.hostWidth : kWide.hostWidth;
        p.job.height = 0x7FFFFFFF;
        p.job.bidirectional = true;
        test::SetUpPipelineJob(p.job, test::ProofBoardSettings(p.job));
        if (p.lines.empty()) {
            p.lines.resize(997);
            for (uint32_t i = 0; i < p.lines.size(); ++i) test::MakeHostLine(p.job, 2000 + 7 * i, p.lines[i]);
        }
        current = which;
    }
    return p;
}

void BM_WholeSwath(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    PathJob &p = CurrentPathJob(which);
    gHandedBytes = 0;
    for (auto _ : state) {
        // One swath: the lines it needs, each stored, the last one cutting it.
        const PassInfo &pass = test::HarnessJob()->print.pass;
        const uint32_t need = pass.LinesPerPass - pass.collet;
        for (uint32_t i = 0; i < need; ++i) {
            test::FeedHostLine(p.job, p.lines[p.next].data(), &CountOnly);
            if (++p.next == p.lines.size()) p.next = 0;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(gHandedBytes));
    state.SetLabel(WidthName(which));
}

BENCHMARK(BM_PassSeparation)->ArgsProduct({{0, 1}, {1, 0}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyPassRows)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Format)->ArgsProduct({{0, 1}, {1, 0}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReferencePassSeparation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceFormat)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeSwath)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// --- ratios -------------------------------------------------------------------------

// Keeps every run's time per iteration and byte rate for the summary.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Result {
        double seconds;
        double bytesPerSecond;
    };
    std::map<std::string, Result> results;

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred || run.iterations == 0) continue;
            double secs = run.real_accumulated_time / double(run.iterations);
            auto it = run.counters.find("bytes_per_second");
            double bps = it != run.counters.end() ? double(it->second) : 0.0;
            results[run.benchmark_name()] = {secs, bps};
        }
    }
    bool Has(const std::string &n) const { return results.count(n) != 0; }
    const Result &Get(const std::string &n) const { return results.at(n); }
};

void PrintRatios(const RatioReporter &r) {
    std::printf("\nRatios (higher is better)\n");
    const char *widths[2] = {"wide (1.6 m)", "narrow"};
    const double memcpy64 = r.Has("BM_Memcpy64MiB") ? r.Get("BM_Memcpy64MiB").bytesPerSecond : 0;
    for (int w = 0; w < 2; ++w) {
        const std::string a = "/" + std::to_string(w);
        auto name = [&](const char *bm) { return std::string(bm) + a; };
        std::printf("  %s job, bytes per line %u:\n", widths[w],
                    w ? kNarrow.bytesPerLine : kWide.bytesPerLine);
        for (int isa = 1; isa >= 0; --isa) {
            const std::string k = a + "/" + std::to_string(isa);
            const char *tag = isa ? (CpuHasAvx2() ? "avx2" : "x86-64-v2") : "x86-64-v2";
            if (isa == 0 && !CpuHasAvx2()) continue;
            const std::string fmt = "BM_Format" + k, pass = "BM_PassSeparation" + k;
            if (r.Has(fmt) && r.Has(name("BM_ReferenceFormat")))
                std::printf("    formatting vs plain reference (%s):          %7.1fx  (target >= 100x)\n",
                            tag, r.Get(name("BM_ReferenceFormat")).seconds / r.Get(fmt).seconds);
            if (r.Has(fmt) && memcpy64 > 0)
                std::printf("    formatting output rate / 64 MiB memcpy (%s):  %5.0f%%  (target >= 40%%)\n",
                            tag, 100.0 * r.Get(fmt).bytesPerSecond / memcpy64);
            if (r.Has(pass) && r.Has(name("BM_MemcpyPassRows")))
                std::printf("    pass separation / memcpy of its rows (%s):    %5.0f%%  (target >= 70%%)\n",
                            tag, 100.0 * r.Get(name("BM_MemcpyPassRows")).seconds / r.Get(pass).seconds);
            if (r.Has(pass) && r.Has(name("BM_ReferencePassSeparation")))
                std::printf("    pass separation vs plain reference (%s):     %7.1fx\n", tag,
                            r.Get(name("BM_ReferencePassSeparation")).seconds / r.Get(pass).seconds);
        }
        if (r.Has(name("BM_WholeSwath")))
            std::printf(
                "    whole path per swath, swath bytes:               %6.2f GB/s (target >= 1 GB/s; "
                "the head takes 0.0108)\n",
                r.Get(name("BM_WholeSwath")).bytesPerSecond / 1e9);
    }
}

}  // namespace
}  // namespace sl

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    sl::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sl::PrintRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
