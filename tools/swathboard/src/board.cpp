// Starting and stopping a board, and reading what it saw.
#include "board.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include "listener.h"
#include "server.h"
#include "swathboard.h"

namespace swathboard {

namespace {

Board *Fail(Board *board, std::string *error, const std::string &why) {
    if (error != nullptr) *error = why;
    if (board->listen_fd >= 0) ::close(board->listen_fd);
    if (board->wake_fd >= 0) ::close(board->wake_fd);
    LogCloseFile(&board->log);
    delete board;
    return nullptr;
}

bool OpenInitialListener(Board *board, std::string *error) {
    const auto refuse = std::chrono::milliseconds(board->config.refuse_connections_ms_at_start);
    if (refuse.count() > 0) {
        // A board still booting: nothing listens yet, the loop opens it later.
        board->listen_again_at = board->started + refuse;
        return true;
    }
    board->listen_fd = OpenListener(board->address, error);
    return board->listen_fd >= 0;
}

}  // namespace

Board *StartBoard(const BoardConfig &config, std::string *error) {
    auto *board = new Board;
    board->config = config;
    board->faults.stop_print_status = config.stop_print_status;
    board->started = std::chrono::steady_clock::now();
    if (!ParseBoardAddress(config.ip, config.any_address, &board->address)) {
        return Fail(board, error, "address must be a dotted quad in 127.0.0.0/8: " + config.ip);
    }
    if (!config.log_path.empty() && !LogOpenFile(&board->log, config.log_path)) {
        return Fail(board, error, "cannot write log file " + config.log_path);
    }
    board->wake_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (board->wake_fd < 0) return Fail(board, error, "eventfd failed");
    ArmConfiguredFaults(board);
    std::string why;
    if (config.image_width != 0) SetImageSize(board, config.image_width, config.image_height, config.image_xdpi);
    if (!config.streamed_sheet_png.empty() &&
        !StreamSheet(board, {config.streamed_sheet_png, config.streamed_preview_scale}, &why))
        return Fail(board, error, why);
    if (!OpenInitialListener(board, &why))
        return Fail(board, error, "cannot listen on " + config.ip + ": " + why);
    board->thread = std::thread(ServeBoard, board);
    return board;
}

void StopBoard(Board *board) {
    if (board == nullptr) return;
    board->stopping.store(true);
    WakeServer(board);
    board->thread.join();
    ::close(board->wake_fd);
    LogCloseFile(&board->log);
    delete board;
}

std::vector<PacketRecord> Packets(const Board *board) { return LogSnapshot(&board->log); }

std::size_t CountPackets(const Board *board, std::uint8_t code) { return LogCount(&board->log, code); }

bool WaitForPackets(const Board *board, std::uint8_t code, std::size_t count,
                    std::chrono::milliseconds timeout) {
    return LogWaitCount(&board->log, code, count, timeout);
}

std::uint32_t ConnectionCount(const Board *board) { return LogConnections(&board->log); }

bool WaitForConnections(const Board *board, std::uint32_t count, std::chrono::milliseconds timeout) {
    return LogWaitConnections(&board->log, count, timeout);
}

std::vector<std::uint32_t> StoredSwathNumbers(const Board *board) { return SwathNumbers(&board->store); }

bool StoredSwath(const Board *board, std::uint32_t swath_sn, std::vector<std::uint8_t> *data) {
    return SwathData(&board->store, swath_sn, data);
}

}  // namespace swathboard
