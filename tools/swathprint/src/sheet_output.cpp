// The emulator's printed sheet: its frame is the job's raster, and it is
// written as a PNG with a JSON summary beside it.
#include "session.h"

namespace swathprint {

void FrameSheet(Session *session, const JobPlan &plan) {
    if (!session->board) return;
    swathboard::SetImageSize(session->board, plan.width, plan.height, plan.prop.XDPI);
    session->job_first_packet = swathboard::Packets(session->board).size();
}

bool WriteSheet(const Session &session, const std::string &png_path, std::string *error) {
    swathboard::Sheet sheet;
    if (!swathboard::PrintedSheet(session.board, &sheet)) {
        *error = "the emulator has no printed sheet";
        return false;
    }
    const size_t dot = png_path.rfind(".png");
    const std::string json_path = (dot == std::string::npos ? png_path : png_path.substr(0, dot)) + ".json";
    return swathboard::WriteSheetPng(sheet, png_path, error) &&
           swathboard::WriteSheetSummaryJson(sheet, json_path, error);
}

bool StartSheet(const Session &session, const std::string &png_path, uint32_t preview_scale,
                std::string *error) {
    swathboard::SheetStreamOptions options;
    options.png_path = png_path;
    options.preview_scale = preview_scale;
    return swathboard::StreamSheet(session.board, options, error);
}

bool FinishSheet(const Session &session, const std::string &png_path, std::string *error) {
    swathboard::SheetSummary printed;
    return FinishSheet(session, png_path, &printed, error);
}

bool FinishSheet(const Session &session, const std::string &png_path, swathboard::SheetSummary *printed,
                 std::string *error) {
    swathboard::Sheet sheet;
    const size_t dot = png_path.rfind(".png");
    const std::string json_path = (dot == std::string::npos ? png_path : png_path.substr(0, dot)) + ".json";
    if (!swathboard::FinishStreamedSheet(session.board, &sheet, error)) return false;
    *printed = sheet.summary;
    return swathboard::WriteSheetSummaryJson(sheet, json_path, error);
}

}  // namespace swathprint
