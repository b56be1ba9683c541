// The emulator's printed sheet: its frame is the job's raster, and it is
// written as a PNG with a JSON summary beside it.
#include "session.h"

namespace swathprint {

// The sheet streams: rows the paper has passed are written while the job
// prints, so a banner of any length needs no more memory than its width.
bool FrameSheet(const Session &session, const JobPlan &plan, const std::string &png_path,
                uint32_t preview_scale, std::string *error) {
    if (!session.board) return true;
    swathboard::SetImageSize(session.board, plan.width, plan.height, plan.prop.XDPI);
    return swathboard::StreamSheet(session.board, {png_path, preview_scale}, error);
}

bool WriteSheet(const Session &session, const std::string &png_path, std::string *error) {
    swathboard::Sheet sheet;
    if (!swathboard::FinishStreamedSheet(session.board, &sheet, error)) return false;
    const size_t dot = png_path.rfind(".png");
    const std::string json_path = (dot == std::string::npos ? png_path : png_path.substr(0, dot)) + ".json";
    return swathboard::WriteSheetSummaryJson(sheet, json_path, error);
}

}  // namespace swathprint
