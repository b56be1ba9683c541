// The streamed sheet: each accepted swath is printed onto a band of open
// rows; rows the paper has carried past the head go to the PNG and are
// dropped.
#include "sheet_stream.h"

#include <algorithm>

#include "board.h"
#include "protocol.h"

namespace swathboard {

namespace {

// Places one dot on the band, growing it down to the dot's row.
void PlaceOnBand(const Dot &d, StreamedSheet *s) {
    if (!CountDot(d, s->geometry, s->totals.width, s->totals.height, &s->totals.summary)) return;
    const std::int64_t at = d.row - s->band_top;
    if (at < 0) return;  // cannot happen: such rows have passed the head
    while (s->rows.size() <= static_cast<std::size_t>(at)) s->rows.emplace_back(s->totals.width, 0);
    std::uint8_t &pixel = s->rows[static_cast<std::size_t>(at)][static_cast<std::size_t>(d.column)];
    const auto ink = static_cast<unsigned>(s->geometry.channel_ink[d.channel]);
    if (PackedLevel(pixel, ink) != 0) s->totals.summary.doubled += 1;
    pixel = WithLevel(pixel, ink, d.level);
}

// Writes the rows above `row` (blank where nothing printed) and drops them.
void WriteRowsAbove(std::int64_t row, StreamedSheet *s) {
    const std::vector<std::uint8_t> blank(s->totals.width, 0);
    row = std::min<std::int64_t>(row, s->totals.height);
    for (; s->band_top < row && s->failure.empty(); ++s->band_top) {
        const bool held = !s->rows.empty();
        s->png->AddRow(held ? s->rows.front().data() : blank.data(), &s->failure);
        if (held) s->rows.pop_front();
    }
}

// The job's first swath fixes the geometry and the picture's header.
void StartPrinting(const Board *board, StreamedSheet *s) {
    s->printing = true;
    s->geometry = GeometryForJob(board, s->job.data(), s->frame);
    s->totals.xdpi = s->geometry.host_xdpi;
    s->totals.ydpi = s->geometry.ydpi;
    s->png->Start({s->totals.width, s->totals.height, s->totals.xdpi, s->totals.ydpi, s->preview_scale},
                  &s->failure);
}

// The packet of the job open now, if any: its accepted create, or the print
// start that followed it.
std::vector<std::uint8_t> OpenJob(const Board *board) {
    const std::vector<PacketRecord> log = Packets(board);
    const PacketRecord *job = nullptr;
    for (const PacketRecord &r : log) {
        if (!AnswerTaken(r)) continue;
        if (r.code == NET_CMD_JOB_CREATE || (job && r.code == NET_CMD_PRINT_START)) job = &r;
    }
    return job ? std::vector<std::uint8_t>(job->raw.begin(), job->raw.end()) : std::vector<std::uint8_t>{};
}

}  // namespace

bool StreamSheet(Board *board, const SheetStreamOptions &options, std::string *error) {
    auto sheet = std::make_unique<StreamedSheet>();
    {
        std::lock_guard<std::mutex> lock(board->frame_mutex);
        sheet->frame = board->frame;
    }
    if (sheet->frame.width == 0 || sheet->frame.height == 0) {
        *error = "a streamed sheet needs the image size";
        return false;
    }
    sheet->preview_scale = std::max<std::uint32_t>(options.preview_scale, 1);
    sheet->totals.width = sheet->frame.width;
    sheet->totals.height = sheet->frame.height;
    sheet->job = OpenJob(board);
    sheet->png = std::make_unique<SheetPng>();
    if (!sheet->png->Open(options.png_path, error)) return false;
    std::lock_guard<std::mutex> lock(board->sheet_stream.mutex);
    board->sheet_stream.sheet = std::move(sheet);
    return true;
}

bool FinishStreamedSheet(Board *board, Sheet *out, std::string *error) {
    std::unique_ptr<StreamedSheet> s;
    {
        std::lock_guard<std::mutex> lock(board->sheet_stream.mutex);
        s = std::move(board->sheet_stream.sheet);
    }
    if (!s) return *error = "no sheet is streaming", false;
    if (s->job.empty()) return *error = "no job was printed", false;
    if (!s->printing) StartPrinting(board, s.get());  // a job stopped before its first swath: a blank sheet
    WriteRowsAbove(s->totals.height, s.get());
    if (!s->failure.empty()) return *error = s->failure, false;
    if (!s->png->Finish(error)) return false;
    s->totals.summary.paper_advanced_um = PaperMicrometres(s->feed);
    s->totals.summary.drift_millilines = s->feed.drift_millilines;
    *out = std::move(s->totals);
    return true;
}

void StreamJobPacket(Board *board, const PacketRecord &record) {
    if (!AnswerTaken(record)) return;
    if (record.code != NET_CMD_JOB_CREATE && record.code != NET_CMD_PRINT_START) return;
    std::lock_guard<std::mutex> lock(board->sheet_stream.mutex);
    StreamedSheet *s = board->sheet_stream.sheet.get();
    if (!s) return;
    if (s->printing) {
        s->later_job = s->later_job || record.code == NET_CMD_JOB_CREATE;
        return;
    }
    // The print start carries the pass count of the mode actually printed.
    s->job.assign(record.raw.begin(), record.raw.end());
}

bool StreamSwath(Board *board, const PacketRecord &record, std::vector<std::uint8_t> *data) {
    std::lock_guard<std::mutex> lock(board->sheet_stream.mutex);
    StreamedSheet *s = board->sheet_stream.sheet.get();
    if (!s || s->job.empty() || s->later_job) return false;
    if (!s->printing) StartPrinting(board, s);
    PrintedSwath swath = SwathOf(record);
    swath.data.swap(*data);
    PrintSwath(swath, s->geometry, &s->feed, [s](const Dot &d) { PlaceOnBand(d, s); });
    s->totals.summary.swaths += 1;
    WriteRowsAbove(FirstOpenRow(s->feed, s->geometry), s);
    return true;
}

}  // namespace swathboard
