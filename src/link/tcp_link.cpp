// The TCP connection to the board: addresses, connect, send, close and the
// reconnection that the transmit and receive threads share.
#include "link/tcp_link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/host_network.h"
#include "platform/platform.h"
#include "shared/link_wait.h"

namespace sl {

namespace {

// Boards are told apart by the last octet of their address (modulo 100).
struct BoardMACRow {
    uint8_t key;
    const char *text;
    uint8_t bytes[6];
};

constexpr BoardMACRow BoardMACTable[] = {
    {25, "00-60-03-6e-21-04", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x04}},
    {1, "00-60-03-6e-21-0b", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x0b}},
    {2, "00-60-03-6e-21-0c", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x0c}},
    {3, "00-60-03-6e-21-0d", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x0d}},
    {4, "00-60-03-6e-21-0e", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x0e}},
    {6, "00-60-03-6e-21-10", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x10}},
    {8, "00-60-03-6e-21-12", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x12}},
    {12, "00-60-03-6e-21-16", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x16}},
    {16, "00-60-03-6e-21-1a", {0x00, 0x60, 0x03, 0x6e, 0x21, 0x1a}},
};

constexpr uint32_t kConnectWaitMs = 15000;
constexpr uint32_t kSendTimeoutMs = 5000;
// A scaled send time-out must still let a large swath through on a busy
// machine: a send that times out fails the whole packet.
constexpr uint32_t kSendTimeoutFloorMs = 1000;
constexpr uint32_t kDrainWaitMs = 3010;
constexpr int kDrainBytes = 1500;
constexpr uint32_t kReceiveLeaveWaits = 2000;  // of 1 ms
constexpr uint32_t kReconnectWaitMs = 100;     // a waiter's look at the job's end

Status ConnectFailed(LinkContext *link, PlatSocket s, int error, const char *format) {
    sl_trace(format, -error);
    PlatSocket expected = s;
    link->socket.compare_exchange_strong(expected, kInvalidSocket);
    plat_socket_close(s);
    plat_net_cleanup();
    return Status::Bad(StatusCode::NoBoard, "the board does not answer");
}

Status ConnectToBoard(LinkContext *link, const char *pcIP, const char *boardIP) {
    plat_net_startup();
    plat_install_board_arp(pcIP, boardIP, link->addresses->boardMacText, link->addresses->boardMac);
    sl_trace("link from: %s -- %s\n", pcIP, boardIP);
    uint32_t board = 0;
    if (plat_parse_ipv4(boardIP, &board) != 0) {
        sl_trace("link: board address %s is not an IPv4 address\n", boardIP);
        return Status::Bad(StatusCode::NoBoard, "the board's address is not an IPv4 address");
    }

    PlatSocket s = kInvalidSocket;
    if (const int error = plat_tcp_socket(&s); error != 0) {
        sl_trace("socket() create fail. WSAGetLastError=%d\r\n", -error);
        return Status::Bad(StatusCode::NoBoard, "the system gave no socket for the link");
    }
    link->socket.store(s);
    plat_set_send_options(s, std::max(plat_scaled_ms(kSendTimeoutMs), kSendTimeoutFloorMs));
    if (const int error = plat_connect(s, board, kBoardPort, plat_scaled_ms(kConnectWaitMs)); error != 0)
        return ConnectFailed(link, s, error, "select()fail. WSAGetLastError=%d\n");
    RestartAnswerCount(link);
    link->connectionSerial.fetch_add(1);
    return Status::Good();
}

}  // namespace

uint32_t IPTextToValue(const char *text) {
    uint32_t value = 0;
    return plat_parse_ipv4(text, &value) == 0 ? value : 0;
}

void IPValueToText(uint32_t value, char out[128]) {
    std::snprintf(out, 128, "%d.%d.%d.%d", static_cast<int>(value >> 24),
                  static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>(value & 0xFF));
}

void PickBoardMac(LinkAddresses *addresses, const char *boardIP) {
    uint32_t v = IPTextToValue(boardIP);
    uint32_t key = (v & 0xFF) % 100;
    const BoardMACRow *row = &BoardMACTable[0];
    for (const BoardMACRow &r : BoardMACTable) {
        if (r.key == key) {
            row = &r;
            break;
        }
    }
    std::memcpy(addresses->boardMacText, row->text, sizeof addresses->boardMacText);
    std::memcpy(addresses->boardMac, row->bytes, sizeof addresses->boardMac);
    sl_trace("UpdateMACAddr: %s IP:%s %d.%d.%d.%d mac:%s \n", addresses->boardMacText, addresses->boardIp,
             static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
             static_cast<int>(v & 0xFF), addresses->boardMacText);
}

void RestartAnswerCount(LinkContext *link) {
    link->PacketsSent.store(0);
    link->RepliesRead.store(0);
    link->AwaitFrom.store(0);
    link->OutOfStep.store(false);
}

Status CreateConnection(LinkContext *link) {
    char pcIP[128];
    char boardIP[128];
    std::memcpy(pcIP, link->addresses->localIp, sizeof pcIP);
    std::memcpy(boardIP, link->addresses->boardIp, sizeof boardIP);
    pcIP[127] = boardIP[127] = '\0';
    PickBoardMac(link->addresses, boardIP);
    if (!EnsureLocalAddress(pcIP, boardIP))
        return Status::Bad(StatusCode::NoBoard, "the PC does not hold the address set for it");
    return ConnectToBoard(link, pcIP, boardIP);
}

void CloseConnection(LinkContext *link, PlatSocket s) {
    if (s == kInvalidSocket) return;
    // Forget the handle first, so no thread picks up a number the system
    // may hand out again once it is closed.
    PlatSocket expected = s;
    link->socket.compare_exchange_strong(expected, kInvalidSocket);
    // The receive thread may take the bytes first: a blocking receive here
    // could then wait for good on a board that sends nothing more.
    if (plat_wait_readable(s, plat_scaled_ms(kDrainWaitMs)) == 0) {
        uint8_t discard[kDrainBytes];
        plat_recv_pending(s, discard, kDrainBytes);
    }
    // Closing alone would leave a receive blocked on it in another thread;
    // the shutdown wakes it, and the handle is released once it has left.
    plat_socket_shutdown(s);
    // Up to kReceiveLeaveWaits waits of a (scaled, at least 1 ms) millisecond,
    // each ended early when the receive thread leaves.
    for (uint32_t i = 0; link->receiving.load() && i < kReceiveLeaveWaits; ++i)
        WaitForChange(link->changed, 1, [link] { return !link->receiving.load(); });
    if (plat_socket_close(s) != 0) sl_trace("close socket error!\r\n");
    plat_net_cleanup();
}

Reconnect ReplaceConnection(LinkContext *link) {
    if (link->PrintStopFlag.load()) return Reconnect::Stopped;
    if (link->PrintEndFlag.load()) return Reconnect::Ended;

    bool idle = false;
    if (!link->reconnecting.compare_exchange_strong(idle, true)) {
        // Another thread reconnects; its give-up leaves the flag set, so the
        // end of the job must end this wait too.
        while (link->reconnecting.load()) {
            if (link->PrintEndFlag.load()) return Reconnect::Ended;
            WaitForChange(link->changed, kReconnectWaitMs, [link] {
                return !link->reconnecting.load() || link->PrintEndFlag.load();
            });
        }
        return Reconnect::Connected;
    }

    sl_trace("Kt_ReConnectTCPIP reconcet...\n");
    sl_trace("\nreconnect...\r\n");
    CloseConnection(link, link->socket.load());
    plat_sleep_ms(kReconnectPauseMs);
    for (;;) {
        if (link->PrintEndFlag.load()) return Reconnect::Ended;
        if (AbortRequested(link)) {
            EndLink(link);
            return Reconnect::Ended;
        }
        if (CreateConnection(link).ok()) {
            plat_sleep_ms(kReconnectSettleMs);
            link->reconnecting.store(false);
            plat_signal_raise(link->changed);
            return Reconnect::Connected;
        }
        sl_trace("ReConnect Fail\r\n");
        if (link->PrintStopFlag.load()) return Reconnect::Stopped;
        plat_sleep_ms(kReconnectPauseMs);
    }
}

int LinkSendCommand(PlatSocket s, uint8_t *packet, int length) {
    packet[1] |= 0x79;
    return plat_send_all(s, packet, length);
}

int LinkSendData(PlatSocket s, const uint8_t *data, int length) { return plat_send_all(s, data, length); }

int LinkReceive(LinkContext *link, uint8_t *buf, int cap) {
    // Marked before the handle is read: a closer that forgot the handle and
    // then sees no receive knows none can start on it.
    link->receiving.store(true);
    const int n = plat_recv(link->socket.load(), buf, cap);
    link->receiving.store(false);
    plat_signal_raise(link->changed);
    return n;
}

}  // namespace sl
