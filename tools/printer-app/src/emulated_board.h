// The board emulator a printer may print to instead of a board (device
// URI swathboard://127.0.0.N): it runs inside the application at that
// loopback address, and the sheet it prints for each page is kept as a PNG
// for the printer's own web page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace swathboard {
struct Board;
}

namespace printerapp {

class EmulatedBoard {
public:
    // Listens at `ip` (127.0.0.0/8); null with the reason in *error.
    static std::unique_ptr<EmulatedBoard> Start(const std::string &ip, std::string *error);
    ~EmulatedBoard();
    EmulatedBoard(const EmulatedBoard &) = delete;
    EmulatedBoard &operator=(const EmulatedBoard &) = delete;

    // Frames the sheet of the next job with the page's raster and starts
    // writing it to `png_path` (in place once EndSheet renames it), reduced
    // so that its longer side stays within a web page's reach.
    bool BeginSheet(uint32_t width, uint32_t height, uint32_t xdpi, const std::string &png_path,
                    std::string *error);
    // Writes the rest of the sheet and puts the PNG in place.
    bool EndSheet(std::string *error);

private:
    explicit EmulatedBoard(swathboard::Board *board) : board_(board) {}
    swathboard::Board *board_;
    bool streaming_ = false;
};

// Largest side of the kept sheet, in pixels: a whole roll at 1440 dpi would
// be a picture of a hundred thousand pixels a side.
constexpr uint32_t kSheetSidePixels = 4096;

}  // namespace printerapp
