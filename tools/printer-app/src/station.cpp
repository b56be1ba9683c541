#include "station.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>

#include "files/status_file.h"
#include "files/status_record.h"

namespace printerapp {

namespace {

constexpr std::string_view kBoardScheme = "swathlink://";
constexpr std::string_view kEmulatorScheme = "swathboard://";
constexpr uint16_t kBoardPort = 4000;
// The emulator's sheet: written under the first name while the page
// prints, renamed to the second when it is complete.
constexpr const char *kSheetPrinting = "/sheet-printing.png";
constexpr const char *kLastSheet = "/last-sheet.png";

// The address this host uses to reach `board` (the kernel's route choice;
// no packet is sent). The library binds the link to it.
bool LocalAddressTowards(const std::string &board, std::string *local) {
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kBoardPort);
    inet_pton(AF_INET, board.c_str(), &to.sin_addr);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const bool ok = connect(s, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0 &&
                    getsockname(s, reinterpret_cast<sockaddr *>(&from), &len) == 0;
    close(s);
    if (!ok) return false;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    *local = text;
    return true;
}

uint32_t AddressValue(const std::string &dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted.c_str(), &a);
    return ntohl(a.s_addr);
}

}  // namespace

bool BoardOfUri(const std::string &uri, BoardAddress *board) {
    const std::string_view text(uri);
    const bool emulated = text.starts_with(kEmulatorScheme);
    if (!emulated && !text.starts_with(kBoardScheme)) return false;
    std::string host(text.substr(emulated ? kEmulatorScheme.size() : kBoardScheme.size()));
    if (!host.empty() && host.back() == '/') host.pop_back();
    in_addr a{};
    if (host.empty() || inet_pton(AF_INET, host.c_str(), &a) != 1) return false;
    if (emulated && ntohl(a.s_addr) >> 24 != 127) return false;
    *board = BoardAddress{host, emulated};
    return true;
}

Station::Station(std::string folder, BoardAddress board)
    : folder_(std::move(folder)), address_(std::move(board)), printer_(folder_) {}

bool Station::Open(std::string *error) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) {
        *error = "cannot make the status folder " + folder_ + ": " + ec.message();
        return false;
    }
    if (address_.emulated && !emulator_ && !(emulator_ = EmulatedBoard::Start(address_.ip, error)))
        return false;
    std::string local;
    if (!LocalAddressTowards(address_.ip, &local)) {
        *error = "no route to the board at " + address_.ip;
        return false;
    }
    sl::PrintCfgRecord rec{};
    rec.AddrMark = sl::kAddressMark;
    rec.PcAddr = AddressValue(local);
    rec.BoardAddr = AddressValue(address_.ip);
    sl::SealStatusRecord(&rec, sl::kActiveTag);
    if (!sl::WriteStatusRecord(sl::StatusFilePath(folder_), &rec)) {
        *error = "cannot write the status file in " + folder_;
        return false;
    }
    if (const swathlink::Status st = printer_.Init(); !st.ok()) {
        *error = st.reason;
        return false;
    }
    return true;
}

bool Station::BeginSheet(uint32_t width, uint32_t height, uint32_t xdpi, std::string *error) {
    return !emulator_ || emulator_->BeginSheet(width, height, xdpi, folder_ + kSheetPrinting, error);
}

void Station::EndSheet(bool keep) {
    if (!emulator_) return;
    std::string error;
    std::error_code ec;
    if (emulator_->EndSheet(&error) && keep)
        std::filesystem::rename(folder_ + kSheetPrinting, folder_ + kLastSheet, ec);
    std::filesystem::remove(folder_ + kSheetPrinting, ec);
    sheet_kept_ = std::filesystem::exists(folder_ + kLastSheet, ec);
}

std::string Station::LastSheet() const { return sheet_kept_ ? folder_ + kLastSheet : std::string(); }

bool Station::PauseJob() {
    if (!printing_) return false;
    printer_.Pause();
    paused_ = true;
    return true;
}

bool Station::ResumeJob() {
    if (!printing_) return false;
    printer_.Continue();
    paused_ = false;
    return true;
}

void Station::SetOutcome(const JobOutcome &outcome) {
    std::lock_guard<std::mutex> lock(outcome_mutex_);
    outcome_ = outcome;
}

JobOutcome Station::Outcome() const {
    std::lock_guard<std::mutex> lock(outcome_mutex_);
    return outcome_;
}

}  // namespace printerapp
