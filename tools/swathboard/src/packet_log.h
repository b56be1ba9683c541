// The board's record of everything it was sent, shared with tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "swathboard.h"

namespace swathboard {

struct PacketLog {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<PacketRecord> records;
    std::uint32_t connections = 0;
    std::FILE *file = nullptr;  // JSON lines, when asked for
};

// Opens (truncating) the JSON-lines file; false when it cannot be created.
bool LogOpenFile(PacketLog *log, const std::string &path);
void LogCloseFile(PacketLog *log);

// Numbers the record, keeps it, writes its JSON line and wakes waiters.
void LogAppend(PacketLog *log, PacketRecord record);
void LogConnection(PacketLog *log);

std::vector<PacketRecord> LogSnapshot(const PacketLog *log);
std::size_t LogCount(const PacketLog *log, std::uint8_t code);
bool LogWaitCount(const PacketLog *log, std::uint8_t code, std::size_t count,
                  std::chrono::milliseconds timeout);
std::uint32_t LogConnections(const PacketLog *log);
bool LogWaitConnections(const PacketLog *log, std::uint32_t count, std::chrono::milliseconds timeout);

// One JSON object (no newline) describing the record.
std::string PacketJson(const PacketRecord &record);

}  // namespace swathboard
