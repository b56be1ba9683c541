#include "packet_log.h"

#include <algorithm>

namespace swathboard {

namespace {

std::size_t CountLocked(const PacketLog *log, std::uint8_t code) {
    return static_cast<std::size_t>(std::count_if(log->records.begin(), log->records.end(),
                                                  [code](const PacketRecord &r) { return r.code == code; }));
}

}  // namespace

bool LogOpenFile(PacketLog *log, const std::string &path) {
    std::lock_guard<std::mutex> lock(log->mutex);
    log->file = std::fopen(path.c_str(), "w");
    return log->file != nullptr;
}

void LogCloseFile(PacketLog *log) {
    std::lock_guard<std::mutex> lock(log->mutex);
    if (log->file != nullptr) std::fclose(log->file);
    log->file = nullptr;
}

void LogAppend(PacketLog *log, PacketRecord record) {
    {
        std::lock_guard<std::mutex> lock(log->mutex);
        record.index = log->records.size();
        if (log->file != nullptr) {
            const std::string line = PacketJson(record);
            std::fprintf(log->file, "%s\n", line.c_str());
            // Flushed per packet so a log survives the board being killed.
            std::fflush(log->file);
        }
        log->records.push_back(std::move(record));
    }
    log->changed.notify_all();
}

void LogConnection(PacketLog *log) {
    {
        std::lock_guard<std::mutex> lock(log->mutex);
        ++log->connections;
    }
    log->changed.notify_all();
}

std::vector<PacketRecord> LogSnapshot(const PacketLog *log) {
    std::lock_guard<std::mutex> lock(log->mutex);
    return log->records;
}

std::size_t LogCount(const PacketLog *log, std::uint8_t code) {
    std::lock_guard<std::mutex> lock(log->mutex);
    return CountLocked(log, code);
}

bool LogWaitCount(const PacketLog *log, std::uint8_t code, std::size_t count,
                  std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(log->mutex);
    return log->changed.wait_for(lock, timeout, [&] { return CountLocked(log, code) >= count; });
}

std::uint32_t LogConnections(const PacketLog *log) {
    std::lock_guard<std::mutex> lock(log->mutex);
    return log->connections;
}

bool LogWaitConnections(const PacketLog *log, std::uint32_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(log->mutex);
    return log->changed.wait_for(lock, timeout, [&] { return log->connections >= count; });
}

}  // namespace swathboard
