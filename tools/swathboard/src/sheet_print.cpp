// Printing the accepted swaths onto the sheet.
#include <algorithm>
#include <cstdlib>
#include <functional>

#include "board.h"
#include "job_geometry.h"
#include "protocol.h"
#include "sheet_dots.h"
#include "swathboard.h"

namespace swathboard {

namespace {

constexpr std::uint32_t kSliceBytes = 360;  // high plane 180 bytes, then low plane
constexpr std::uint32_t kNozzles = 180;
constexpr std::uint64_t kStepReference = 35860;
constexpr std::uint64_t kStepUnitsPerInch = 2880;
// Paper positions are kept in 1/(2880 * 35860) inch, so steps add up exactly.
constexpr std::uint64_t kPaperUnitsPerInch = kStepUnitsPerInch * kStepReference;

std::uint32_t Field(const PacketRecord &r, std::string_view name) {
    std::uint32_t v = 0;
    FieldValue(r, name, &v);
    return v;
}

// The last job the board opened and every swath it accepted since, in the
// order they arrived. The job's mode is read from its NET_CMD_PRINT_START,
// which carries the pass count of the mode actually printed (the job-create
// packet goes out before a 720-dpi job doubles its passes).
bool LastJob(const Board *board, PacketRecord *job, std::vector<PrintedSwath> *swaths) {
    const std::vector<PacketRecord> log = Packets(board);
    std::size_t start = log.size();
    for (std::size_t i = log.size(); i > 0; --i) {
        if (log[i - 1].code == NET_CMD_JOB_CREATE && AnswerTaken(log[i - 1])) {
            start = i - 1;
            break;
        }
    }
    if (start == log.size()) return false;
    *job = log[start];
    for (std::size_t i = start + 1; i < log.size(); ++i) {
        const PacketRecord &r = log[i];
        if (r.code == NET_CMD_PRINT_START && AnswerTaken(r)) *job = r;
        if (r.code != NET_CMD_SWATH_CREATE || !r.stored) continue;
        PrintedSwath s = SwathOf(r);
        StoredSwath(board, Field(r, "SwathSN"), &s.data);
        swaths->push_back(std::move(s));
    }
    return true;
}

// Nearest line to a paper position.
std::int64_t NearestLine(std::uint64_t paper, std::uint32_t ydpi) {
    return static_cast<std::int64_t>((paper * ydpi + kPaperUnitsPerInch / 2) / kPaperUnitsPerInch);
}

// Pass index in the job's feed cycle from the paper's advance: every pass
// moves the window by lines_per_swath, less the vertical phase.
std::uint32_t PassIndex(std::uint64_t paper, const JobGeometry &g) {
    const std::int64_t line = NearestLine(paper, g.ydpi);
    return static_cast<std::uint32_t>((line + g.lines_per_swath - 1) / g.lines_per_swath);
}

// How far the paper stands from the nearest whole line of the job's YDPI,
// in 1/1000 line. Every swath asks for a feed of whole lines, so this is how
// far the paper is from where the raster wants it, as long as it stays
// below half a line (beyond that the dots land on the next line, which the
// sheet shows).
std::uint32_t DriftMillilines(std::uint64_t paper, std::uint32_t ydpi) {
    const std::uint64_t past = paper * ydpi % kPaperUnitsPerInch;
    const std::uint64_t off = std::min(past, kPaperUnitsPerInch - past);
    return static_cast<std::uint32_t>(off * 1000 / kPaperUnitsPerInch);
}

void FireSlice(const std::uint8_t *slice, std::int64_t carriage, std::uint64_t paper, std::uint32_t phase,
               bool rtl, const JobGeometry &g, const DotSink &sink) {
    for (std::uint32_t n = 0; n < kNozzles; ++n) {
        const std::uint8_t high = slice[n];
        const std::uint8_t low = slice[kNozzles + n];
        const std::uint8_t any = high | low;
        if (any == 0) continue;
        for (std::uint32_t ch = 0; ch < 8; ++ch) {
            if (((any >> ch) & 1) == 0) continue;
            Dot d;
            d.channel = ch;
            d.level = (((high >> ch) & 1u) << 1) | ((low >> ch) & 1u);
            // Odd channels print nozzle rows 0, 2, ...; even ones the rows between.
            const std::uint64_t nozzle_row = 2 * n + ((ch % 2 == 0) ? 1 : 0);
            const std::uint64_t below_top = nozzle_row * kPaperUnitsPerInch / 360;
            d.row = NearestLine(paper + below_top, g.ydpi) - g.first_row_line;
            std::int64_t column = carriage - (rtl ? g.rtl_origin[ch] : g.ltr_origin[ch]);
            if (g.column_split) column = 2 * column + phase;
            d.column = column - g.first_column;
            sink(d);
        }
    }
}

// Runs every dot of the job through `sink`; returns the paper's feed.
Feed PrintSwaths(const std::vector<PrintedSwath> &swaths, const JobGeometry &g, const DotSink &sink) {
    Feed feed;
    for (const PrintedSwath &s : swaths) PrintSwath(s, g, &feed, sink);
    return feed;
}

// The frame reaches from the origin to the furthest dot.
void FrameFromDots(const std::vector<PrintedSwath> &swaths, const JobGeometry &g, Sheet *sheet) {
    std::int64_t right = 0, bottom = 0;
    PrintSwaths(swaths, g, [&](const Dot &d) {
        if (d.level == 0 || d.row < 0 || d.column < 0 || g.channel_ink[d.channel] < 0) return;
        right = std::max(right, d.column + 1);
        bottom = std::max(bottom, d.row + 1);
    });
    sheet->width = static_cast<std::uint32_t>(right);
    sheet->height = static_cast<std::uint32_t>(bottom);
}

void PlaceDot(const Dot &d, const JobGeometry &g, Sheet *sheet) {
    if (!CountDot(d, g, sheet->width, sheet->height, &sheet->summary)) return;
    std::uint8_t &pixel =
        sheet->ink[static_cast<std::size_t>(g.channel_ink[d.channel])]
                  [static_cast<std::size_t>(d.row) * sheet->width + static_cast<std::size_t>(d.column)];
    if (pixel != 0) sheet->summary.doubled += 1;
    pixel = static_cast<std::uint8_t>(pixel | d.level);
}

}  // namespace

bool AnswerTaken(const PacketRecord &r) {
    return r.status == kStatusAccepted && (r.timing == ReplyTiming::kNow || r.timing == ReplyTiming::kLate);
}

PrintedSwath SwathOf(const PacketRecord &r) {
    PrintedSwath s;
    s.step = Field(r, "Step");
    s.pstart = Field(r, "Pstart");
    s.right_to_left = Field(r, "direction") != 0;
    return s;
}

JobGeometry GeometryForJob(const Board *board, const std::uint8_t *job, const ImageFrameRequest &frame) {
    const HeadSettings head = ReadHeadSettings(JobCreateAnswer(board->config.preset, kStatusAccepted));
    return GeometryOf(job, head, frame);
}

void PrintSwath(const PrintedSwath &s, const JobGeometry &g, Feed *feed, const DotSink &sink) {
    const std::uint64_t paper = feed->paper;
    const std::uint32_t phase = g.column_split ? ColumnPhase(g.passes, PassIndex(paper, g)) : 0;
    const std::int64_t first = static_cast<std::int64_t>(s.pstart) * g.k_num / g.k_den;
    const std::size_t slices = s.data.size() / kSliceBytes;
    for (std::size_t i = 0; i < slices; ++i) {
        const std::int64_t carriage =
            s.right_to_left ? first - static_cast<std::int64_t>(i) : first + static_cast<std::int64_t>(i);
        FireSlice(s.data.data() + i * kSliceBytes, carriage, paper, phase, s.right_to_left, g, sink);
    }
    // The paper motor as the calibration describes it: Step x calibration
    // / 35860 in 1/2880 inch, kept exactly for every calibration value.
    feed->paper += static_cast<std::uint64_t>(s.step) * g.step_calibration;
    feed->drift_millilines = std::max(feed->drift_millilines, DriftMillilines(feed->paper, g.ydpi));
}

std::int64_t FirstOpenRow(const Feed &feed, const JobGeometry &g) {
    return NearestLine(feed.paper, g.ydpi) - g.first_row_line;
}

bool CountDot(const Dot &d, const JobGeometry &g, std::uint32_t width, std::uint32_t height,
              SheetSummary *summary) {
    if (d.level == 0) return false;
    summary->dots[d.channel][d.level] += 1;
    if (g.channel_ink[d.channel] < 0) return false;
    if (d.row < 0 || d.column < 0 || d.row >= height || d.column >= width) {
        summary->outside += 1;
        return false;
    }
    return true;
}

std::uint64_t PaperMicrometres(const Feed &feed) { return feed.paper * 25400 / kPaperUnitsPerInch; }

void SetImageSize(Board *board, std::uint32_t width, std::uint32_t height, std::uint32_t xdpi) {
    std::lock_guard<std::mutex> lock(board->frame_mutex);
    board->frame = {width, height, xdpi};
}

bool PrintedSheet(const Board *board, Sheet *out) {
    PacketRecord job;
    std::vector<PrintedSwath> swaths;
    if (!LastJob(board, &job, &swaths)) return false;
    ImageFrameRequest frame;
    {
        std::lock_guard<std::mutex> lock(board->frame_mutex);
        frame = board->frame;
    }
    const JobGeometry g = GeometryForJob(board, job.raw.data(), frame);

    Sheet sheet;
    sheet.xdpi = g.host_xdpi;
    sheet.ydpi = g.ydpi;
    if (frame.width != 0 && frame.height != 0) {
        sheet.width = frame.width;
        sheet.height = frame.height;
    } else {
        FrameFromDots(swaths, g, &sheet);
    }
    for (auto &plane : sheet.ink) plane.assign(static_cast<std::size_t>(sheet.width) * sheet.height, 0);
    const Feed feed = PrintSwaths(swaths, g, [&](const Dot &d) { PlaceDot(d, g, &sheet); });
    sheet.summary.swaths = static_cast<std::uint32_t>(swaths.size());
    sheet.summary.paper_advanced_um = PaperMicrometres(feed);
    sheet.summary.drift_millilines = feed.drift_millilines;
    *out = std::move(sheet);
    return true;
}

}  // namespace swathboard
