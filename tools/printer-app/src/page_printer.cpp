#include "page_printer.h"

#include <algorithm>
#include <chrono>

#include "api/printer_state.h"
#include "raster_limits.h"

namespace printerapp {

namespace {

constexpr uint32_t kSignature = 0x53574C50;  // "SWLP", shown in the library's trace
constexpr int kBits = 2;
constexpr auto kCancelPoll = std::chrono::milliseconds(20);

}  // namespace

PagePrinter::PagePrinter(Station *station, bool black_only, const frontend::ColourOptions &colour,
                         std::function<bool()> cancelled)
    : station_(station), black_only_(black_only), colour_(colour), cancelled_(std::move(cancelled)) {}

PagePrinter::~PagePrinter() {
    if (started_ && !finished_) Finish();
    stop_watch_ = true;
    if (watch_.joinable()) watch_.join();
}

void PagePrinter::Fail(PageEnd end, std::string reason) {
    if (end_ != PageEnd::kPrinted) return;  // the first reason stands
    end_ = end;
    reason_ = std::move(reason);
}

bool PagePrinter::CheckCancel() {
    if (!aborted_ && cancelled_ && cancelled_() && !aborted_.exchange(true)) station_->Printer().Abort();
    return aborted_;
}

void PagePrinter::WatchCancel() {
    while (!stop_watch_ && !CheckCancel()) std::this_thread::sleep_for(kCancelPoll);
}

bool PagePrinter::Start(const PageFormat &format) {
    format_ = format;
    if (format.width == 0 || format.height == 0) {
        Fail(PageEnd::kUnprintable, "the page is empty");
        return false;
    }
    if (black_only_ && format.model != frontend::PixelModel::kGrey) {
        Fail(PageEnd::kUnprintable, "this printer prints black only: send grey pages");
        return false;
    }
    if (const uint32_t widest = frontend::MaxRasterWidth(format.xdpi); format.width > widest) {
        Fail(PageEnd::kUnprintable,
             "the page is " + std::to_string(format.width) + " dots wide at " + std::to_string(format.xdpi) +
                 " dpi; the head's swath plan takes at most " + std::to_string(widest));
        return false;
    }
    std::string error;
    converter_ = frontend::ColourConverter::Create(format.model, format.icc, colour_, &error);
    if (!converter_) {  // a damaged embedded profile: the page's own colours are unusable
        Fail(PageEnd::kUnprintable, "colour conversion: " + error);
        return false;
    }
    row_width_ = std::max(format.width, frontend::kMinLineDots);
    screener_ = std::make_unique<frontend::Screener>(row_width_, kBits, row_width_ >= 2048);
    coverage_.assign(size_t(row_width_) * frontend::kPlanes, 0.0f);
    line_.assign(size_t(frontend::PlaneBytes(row_width_, kBits)) * frontend::kPlanes, 0);

    JobProp prop{};
    prop.Signature = kSignature;
    prop.XDPI = format.xdpi;
    prop.YDPI = format.ydpi;
    prop.BytesPerLine = frontend::PlaneBytes(row_width_, kBits);
    prop.Height = format.height;
    prop.Width = row_width_;
    prop.PaperWidth = row_width_;
    prop.Colors = frontend::kPlanes;
    prop.Bits = kBits;
    if (!station_->Open(&error)) {
        Fail(PageEnd::kNoBoard, error);
        return false;
    }
    if (!station_->BeginSheet(format.width, format.height, format.xdpi, &error)) {
        Fail(PageEnd::kNoBoard, "the emulator's sheet: " + error);
        return false;
    }
    watch_ = std::thread([this] { WatchCancel(); });
    const swathlink::Status st = station_->Printer().StartPrint(prop);
    if (!st.ok()) {
        station_->Printer().Close();
        station_->EndSheet(false);
        if (aborted_)
            Fail(PageEnd::kCancelled, "cancelled before the job reached the board");
        else if (st.code == swathlink::StatusCode::NoBoard)
            Fail(PageEnd::kNoBoard,
                 "the board at " + station_->Board() + " did not take the job: " + st.reason);
        else
            Fail(PageEnd::kUnprintable, std::string("the library refused the job: ") + st.reason);
        return false;
    }
    started_ = true;
    station_->JobStarted();
    return true;
}

bool PagePrinter::Print(const uint8_t *line) {
    const swathlink::Status st = station_->Printer().PrintLines(line, static_cast<uint32_t>(line_.size()));
    if (st.ok()) {
        ++lines_;
        return true;
    }
    if (aborted_)
        Fail(PageEnd::kCancelled, "cancelled after " + std::to_string(lines_) + " lines");
    else
        Fail(PageEnd::kBoardStopped,
             "stopped by the printer after " + std::to_string(lines_) + " lines (" + st.reason + ")");
    return false;
}

bool PagePrinter::Row(const uint16_t *samples) {
    if (!started_ || end_ != PageEnd::kPrinted) return false;
    if (CheckCancel()) {
        Fail(PageEnd::kCancelled, "cancelled after " + std::to_string(lines_) + " lines");
        return false;
    }
    if (lines_ >= format_.height) return true;  // more rows than the page declared: ignored
    float *planes[frontend::kPlanes];
    std::array<const float *, frontend::kPlanes> rows;
    for (int p = 0; p < frontend::kPlanes; ++p) rows[p] = planes[p] = &coverage_[size_t(p) * row_width_];
    converter_->ConvertRow(samples, format_.width, planes[frontend::kY], planes[frontend::kM],
                           planes[frontend::kC], planes[frontend::kK]);
    screener_->ScreenRow(rows, line_.data());
    return Print(line_.data());
}

PageEnd PagePrinter::Finish() {
    if (finished_ || !started_) return end_;
    finished_ = true;
    swathlink::Printer &printer = station_->Printer();
    // A page that ended early without a stop (a short document) is filled
    // with blank lines: the board expects the height the job declared.
    // PAPPL may end a cancelled page before the watch has seen the cancel.
    if (end_ == PageEnd::kPrinted && !CheckCancel()) {
        std::fill(line_.begin(), line_.end(), 0);
        while (lines_ < format_.height && !CheckCancel() && Print(line_.data())) {}
    }
    if (end_ == PageEnd::kPrinted && aborted_) Fail(PageEnd::kCancelled, "cancelled after the last line");
    if (end_ == PageEnd::kPrinted) printer.EndPrint();
    const swathlink::Status closed = printer.Close();
    station_->JobEnded();
    station_->EndSheet(true);
    stop_watch_ = true;
    if (watch_.joinable()) watch_.join();
    if (end_ == PageEnd::kPrinted && aborted_) Fail(PageEnd::kCancelled, "cancelled after the last line");
    if (end_ == PageEnd::kPrinted && !closed.ok())
        Fail(PageEnd::kNotDelivered, std::string("not every swath reached the board: ") + closed.reason);
    dots_ = screener_->Dots();
    // The serial the job's next swath would have had.
    const uint32_t next = station_->Printer().State()->lastJob.swathSerial;
    swaths_ = next > 0 ? next - 1 : 0;
    return end_;
}

}  // namespace printerapp
