#include "session.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "address_record.h"

namespace swathprint {

namespace {

constexpr uint8_t kSwathCreate = 9;
// How the board's answers stop a job: a cancel at the printer (print status
// 1, or status 8 to a swath), a swath wider than it prints (status 6) or
// out of sequence (swath state 3).
constexpr uint16_t kPrintStatusCancelled = 1;
constexpr uint8_t kStatusCancelled = 8;
constexpr uint8_t kStatusTooWide = 6;
constexpr uint16_t kSwathStateSnError = 3;
constexpr uint32_t kSliceBytes = 360;  // one head firing: 8 channels x 180 nozzles x 2 bits
// The driver's trace lines that tell of the link: a reconnection starting,
// a connection made, a cancel at the printer (print status 1).
constexpr const char *kTraceReconnect = "Kt_ReConnectTCPIP reconcet...";
constexpr const char *kTraceConnected = "link from: ";
constexpr const char *kTracePrinterCancel = "Recevice cancel";

bool MakePrivateFolder(Session *s, std::string *folder, std::string *error) {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/swathprint-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        *error = "cannot make a temporary folder in " + pattern.substr(0, pattern.rfind('/'));
        return false;
    }
    s->root = pattern;
    *folder = s->root + "/Prnlog";
    std::error_code ec;
    std::filesystem::create_directory(*folder, ec);
    if (ec) *error = "cannot make " + *folder;
    return !ec;
}

Exit StartEmulator(const Options &o, Session *s, std::string *error) {
    swathboard::BoardConfig config;
    config.ip = o.emulator_ip;
    if (!swathboard::PresetByName(o.board_preset, &config.preset)) {
        *error = "unknown --board-preset " + o.board_preset + " (old, new or new-align)";
        return kExitUsage;
    }
    if (o.bidirectional) config.preset.dir_mode = swathboard::kDirModeBidirectional;
    std::string why;
    s->board = swathboard::StartBoard(config, &why);
    if (s->board) return kExitOk;
    *error = "cannot start the built-in emulator at " + o.emulator_ip + ": " + why;
    return kExitBoard;
}

}  // namespace

Exit OpenSession(const Options &o, Session *s, std::string *error) {
    const std::string board = o.board.empty() ? o.emulator_ip : o.board;
    uint32_t pc_address = 0, board_address = 0;
    for (const auto &[text, address] : {std::pair{&o.pc, &pc_address}, std::pair{&board, &board_address}}) {
        if (ParseIPv4(*text, address)) continue;
        *error = "not an IPv4 address: " + *text;
        return kExitUsage;
    }
    std::string folder;
    if (!MakePrivateFolder(s, &folder, error) ||
        !WriteAddressRecord(folder, pc_address, board_address, error))
        return kExitSetup;
    setenv("SWATHLINK_PRNLOG", folder.c_str(), 1);
    // The driver opens its trace at its first line, in the first job.
    const char *trace = std::getenv("SWATHLINK_TRACE");
    if (!trace || !*trace) {
        s->trace = s->root + "/trace.log";
        setenv("SWATHLINK_TRACE", s->trace.c_str(), 1);
    } else if (std::string(trace) != "stderr") {
        s->trace = trace;
    }
    return o.board.empty() ? StartEmulator(o, s, error) : kExitOk;
}

void CloseSession(Session *s) {
    if (s->board) swathboard::StopBoard(s->board);
    s->board = nullptr;
    std::error_code ec;
    if (!s->root.empty()) std::filesystem::remove_all(s->root, ec);
    s->root.clear();
}

Exit BoardStopOf(const Session &s) {
    if (!s.board) return kExitOk;
    for (const swathboard::PacketRecord &r : swathboard::Packets(s.board)) {
        if (r.print_status == kPrintStatusCancelled ||
            (r.code == kSwathCreate && r.status == kStatusCancelled))
            return kExitCancelled;
        if (r.code == kSwathCreate && (r.status == kStatusTooWide || r.swath_state == kSwathStateSnError))
            return kExitBoardStopped;
    }
    return kExitOk;
}

void MarkJobStart(Session *s) {
    std::error_code ec;
    const uintmax_t size = s->trace.empty() ? 0 : std::filesystem::file_size(s->trace, ec);
    s->job_first_trace = ec ? 0 : size;
}

LinkEvents LinkEventsOf(const Session &s) {
    LinkEvents events;
    if (s.trace.empty()) return events;
    std::ifstream in(s.trace, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(s.job_first_trace));
    // Looked for anywhere in a line: a trace line without its own line end
    // runs on into the next.
    bool reconnecting = false;
    for (std::string line; std::getline(in, line);) {
        if (line.find(kTraceReconnect) != std::string::npos) {
            ++events.drops;
            reconnecting = true;
        } else if (reconnecting && line.find(kTraceConnected) != std::string::npos) {
            ++events.recoveries;
            reconnecting = false;
        } else if (line.find(kTracePrinterCancel) != std::string::npos) {
            events.printer_cancel = true;
        }
    }
    return events;
}

std::string LinkLine(const LinkEvents &e) {
    if (e.drops == 0) return "";
    auto times = [](uint32_t n) { return std::to_string(n) + (n == 1 ? " time" : " times"); };
    std::string line = "link: dropped " + times(e.drops) + " during the job";
    if (e.recoveries == e.drops) return line + " and came back each time";
    return line + ", came back " + times(e.recoveries);
}

int64_t SwathsAccepted(const Session &s) {
    return s.board ? static_cast<int64_t>(swathboard::StoredSwathNumbers(s.board).size()) : -1;
}

BoardStats BoardStatsOf(const Session &s) {
    BoardStats stats;
    if (!s.board) return stats;
    stats.swaths = 0;
    const std::vector<swathboard::PacketRecord> packets = swathboard::Packets(s.board);
    for (size_t i = s.job_first_packet; i < packets.size(); ++i) {
        const swathboard::PacketRecord &r = packets[i];
        if (r.code != kSwathCreate || !r.stored) continue;
        ++stats.swaths;
        stats.firings += r.data_len / kSliceBytes;
    }
    return stats;
}

}  // namespace swathprint
