#include "emulated_board.h"

#include <algorithm>

#include "swathboard.h"

namespace printerapp {

std::unique_ptr<EmulatedBoard> EmulatedBoard::Start(const std::string &ip, std::string *error) {
    swathboard::BoardConfig config;
    config.ip = ip;
    std::string why;
    swathboard::Board *board = swathboard::StartBoard(config, &why);
    if (!board) {
        *error = "cannot start the board emulator at " + ip + ": " + why;
        return nullptr;
    }
    return std::unique_ptr<EmulatedBoard>(new EmulatedBoard(board));
}

EmulatedBoard::~EmulatedBoard() {
    std::string ignored;
    if (streaming_) EndSheet(&ignored);
    swathboard::StopBoard(board_);
}

bool EmulatedBoard::BeginSheet(uint32_t width, uint32_t height, uint32_t xdpi, const std::string &png_path,
                               std::string *error) {
    std::string ignored;
    if (streaming_) EndSheet(&ignored);  // a page that never ended
    swathboard::SetImageSize(board_, width, height, xdpi);
    swathboard::SheetStreamOptions options;
    options.png_path = png_path;
    options.preview_scale =
        std::max<uint32_t>(1, (std::max(width, height) + kSheetSidePixels - 1) / kSheetSidePixels);
    streaming_ = swathboard::StreamSheet(board_, options, error);
    return streaming_;
}

bool EmulatedBoard::EndSheet(std::string *error) {
    if (!streaming_) return false;
    streaming_ = false;
    swathboard::Sheet sheet;
    return swathboard::FinishStreamedSheet(board_, &sheet, error);
}

}  // namespace printerapp
