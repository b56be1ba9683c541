#include "raw_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <thread>

namespace sbtest {

std::string TestIp(TestAddress a) { return "127.0.0." + std::to_string(static_cast<int>(a)); }

BoardHandle StartTestBoard(TestAddress a, swathboard::BoardConfig config) {
    config.ip = TestIp(a);
    std::string error;
    swathboard::Board *b = swathboard::StartBoard(config, &error);
    EXPECT_NE(b, nullptr) << error;
    return BoardHandle(b);
}

bool ConnectWhenListening(RawClient *c, const std::string &ip) {
    for (int i = 0; i < 200; ++i) {
        if (c->Connect(ip) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int SpawnProgram(const char *program, std::vector<std::string> args) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(127);
}

RawClient::~RawClient() { Close(); }

int RawClient::Connect(const std::string &ip) {
    Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(4000);
    ::inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0) return 0;
    const int err = errno;
    Close();
    return err;
}

bool RawClient::Send(const std::uint8_t *bytes, std::size_t n) {
    while (n > 0) {
        const ssize_t k = ::send(fd_, bytes, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        bytes += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

bool RawClient::SendPacket(Packet p, bool tag) {
    if (tag) p[1] |= 0x79;
    return Send(p.data(), p.size());
}

bool RawClient::Read(std::size_t n, std::vector<std::uint8_t> *out, int timeout_ms) {
    out->assign(n, 0);
    std::size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        const ssize_t k = ::recv(fd_, out->data() + got, n - got, 0);
        if (k <= 0) return false;
        got += static_cast<std::size_t>(k);
    }
    return true;
}

bool RawClient::Quiet(int ms) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, ms) == 0;
}

bool RawClient::ClosedByPeer(int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::uint8_t sink[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const ssize_t k = ::recv(fd_, sink, sizeof sink, 0);
        if (k <= 0) return true;  // orderly close or reset
    }
    return false;
}

void RawClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void Put(Packet *p, std::size_t at, std::size_t width, std::uint32_t v) {
    for (std::size_t i = 0; i < width; ++i) (*p)[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get(const std::vector<std::uint8_t> &b, std::size_t at, std::size_t width) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < width; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
    return v;
}

Packet CommandPacket(std::uint8_t code) {
    Packet p{};
    p[0] = code;
    return p;
}

Packet DebugPacket(std::uint16_t sub_code, std::uint16_t job_id) {
    Packet p = CommandPacket(1);
    Put(&p, 4, 2, sub_code);
    Put(&p, 6, 2, job_id);
    return p;
}

Packet SwathPacket(std::uint32_t len, std::uint32_t swath_sn) {
    Packet p = CommandPacket(9);
    Put(&p, 4, 4, len);
    Put(&p, 52, 4, swath_sn);
    return p;
}

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

std::uint16_t ReferenceChecksum(const std::vector<std::uint8_t> &bytes, std::size_t n, std::uint16_t type) {
    const std::uint32_t t = type;
    std::uint32_t sum = ((~(t + 0xAB87u) << 8) | (t & 0xFFu)) & 0xFFFFu;
    for (std::size_t i = 0; i + 1 < n; i += 2) sum += bytes[i] | (bytes[i + 1] << 8);
    if (n % 2 == 1) sum += bytes[n - 1];
    while (sum > 0xFFFF) sum = (sum >> 16) + (sum & 0xFFFF);
    return static_cast<std::uint16_t>(sum);
}

bool Exchange(RawClient *c, const Packet &p, std::size_t reply_len, std::vector<std::uint8_t> *reply) {
    return c->SendPacket(p) && c->Read(reply_len, reply);
}

bool ExchangeSwath(RawClient *c, std::uint32_t swath_sn, const std::vector<std::uint8_t> &data,
                   std::vector<std::uint8_t> *reply) {
    const Packet p = SwathPacket(static_cast<std::uint32_t>(data.size()), swath_sn);
    return c->SendPacket(p) && c->Send(data.data(), data.size()) && c->Read(18, reply);
}

}  // namespace sbtest
