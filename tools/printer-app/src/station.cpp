#include "station.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "files/status_file.h"
#include "files/status_record.h"

namespace printerapp {

namespace {

constexpr const char *kScheme = "swathlink://";
constexpr uint16_t kBoardPort = 4000;

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

bool BoardOfUri(const std::string &uri, std::string *board) {
    const size_t n = std::strlen(kScheme);
    if (uri.compare(0, n, kScheme) != 0) return false;
    std::string host = uri.substr(n);
    if (!host.empty() && host.back() == '/') host.pop_back();
    in_addr a{};
    if (host.empty() || inet_pton(AF_INET, host.c_str(), &a) != 1) return false;
    *board = host;
    return true;
}

Station::Station(std::string folder, std::string board)
    : folder_(std::move(folder)), board_(std::move(board)), printer_(folder_) {}

bool Station::Open(std::string *error) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) {
        *error = "cannot make the status folder " + folder_ + ": " + ec.message();
        return false;
    }
    std::string local;
    if (!LocalAddressTowards(board_, &local)) {
        *error = "no route to the board at " + board_;
        return false;
    }
    sl::PrintCfgRecord rec{};
    rec.AddrMark = sl::kAddressMark;
    rec.PcAddr = AddressValue(local);
    rec.BoardAddr = AddressValue(board_);
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

void Station::SetOutcome(const JobOutcome &outcome) {
    std::lock_guard<std::mutex> lock(outcome_mutex_);
    outcome_ = outcome;
}

JobOutcome Station::Outcome() const {
    std::lock_guard<std::mutex> lock(outcome_mutex_);
    return outcome_;
}

}  // namespace printerapp
