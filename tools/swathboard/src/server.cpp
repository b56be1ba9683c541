#include "server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cstdint>

#include "listener.h"
#include "session.h"

namespace swathboard {

namespace {

using Clock = std::chrono::steady_clock;

// How soon to try again when the address cannot be bound after a refusal.
constexpr auto kRelistenRetry = std::chrono::milliseconds(20);

void StopListening(Board *board, std::uint32_t ms) {
    if (board->listen_fd >= 0) ::close(board->listen_fd);
    board->listen_fd = -1;
    board->listen_again_at = std::max(board->listen_again_at, Clock::now() + std::chrono::milliseconds(ms));
}

void RelistenIfDue(Board *board) {
    if (board->listen_fd >= 0 || Clock::now() < board->listen_again_at) return;
    board->listen_fd = OpenListener(board->address, nullptr);
    if (board->listen_fd < 0) board->listen_again_at = Clock::now() + kRelistenRetry;
}

void CloseSession(Board *board, Session *s) {
    if (s->fd < 0) return;
    SessionAbandon(board, s);
    ::close(s->fd);
    s->fd = -1;
}

void Finish(Board *board, Session *s, const CloseRequest &request) {
    if (!request.close) return;
    // Stop listening first: a host that sees the link drop and reconnects at
    // once must already find the board gone.
    if (request.refuse_ms > 0) StopListening(board, request.refuse_ms);
    CloseSession(board, s);
}

// The host reconnects after a failure, so a newer connection always
// replaces the one in hand.
void AcceptAll(Board *board, Session *s) {
    for (;;) {
        const int fd = ::accept4(board->listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        CloseSession(board, s);
        LogConnection(&board->log);
        s->fd = fd;
        s->number = LogConnections(&board->log);
    }
}

void ApplyLinkRequests(Board *board, Session *s) {
    const LinkRequests r = TakeLinkRequests(&board->faults);
    if (r.refuse_ms > 0) StopListening(board, r.refuse_ms);
    if (r.drop) CloseSession(board, s);
    if (r.unsolicited) SessionSendUnsolicited(board, s, *r.unsolicited);
    LinkRequestsDone(&board->faults, r.ticket);
}

// The configured unsolicited answer goes once it is due and a host is there.
void SendConfiguredUnsolicited(Board *board, Session *s) {
    if (!board->unsolicited_at || Clock::now() < *board->unsolicited_at || s->fd < 0) return;
    board->unsolicited_at.reset();
    SessionSendUnsolicited(board, s, *board->config.unsolicited);
}

int MsUntil(Clock::time_point when) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, 60'000));
}

// The sooner of two poll time-outs, -1 meaning none.
int Sooner(int a, int b) { return a < 0 ? b : b < 0 ? a : std::min(a, b); }

int PollTimeout(const Board *board, const Session *s) {
    int timeout = -1;
    if (s->holding) timeout = MsUntil(s->reply_at);
    if (!s->pending.empty()) timeout = Sooner(timeout, MsUntil(s->pending.front().due));
    if (board->listen_fd < 0) timeout = Sooner(timeout, MsUntil(board->listen_again_at));
    if (board->unsolicited_at && s->fd >= 0) timeout = Sooner(timeout, MsUntil(*board->unsolicited_at));
    return timeout;
}

void DrainWake(int fd) {
    std::uint64_t count = 0;
    while (::read(fd, &count, sizeof count) > 0) {}
}

void ServeOnce(Board *board, Session *s) {
    ApplyLinkRequests(board, s);
    SendConfiguredUnsolicited(board, s);
    RelistenIfDue(board);
    if (s->fd >= 0 && !s->pending.empty()) Finish(board, s, SessionSendDue(s));
    if (s->fd >= 0 && s->holding && Clock::now() >= s->reply_at) Finish(board, s, SessionSendHeld(board, s));

    pollfd fds[3] = {{board->wake_fd, POLLIN, 0}, {board->listen_fd, POLLIN, 0}, {-1, POLLIN, 0}};
    // While an answer is held back the board reads nothing more.
    if (s->fd >= 0 && !s->holding) fds[2].fd = s->fd;
    if (::poll(fds, 3, PollTimeout(board, s)) <= 0) return;

    if (fds[0].revents != 0) DrainWake(board->wake_fd);
    if (fds[1].revents != 0 && board->listen_fd >= 0) AcceptAll(board, s);
    if (fds[2].revents != 0 && fds[2].fd == s->fd) Finish(board, s, SessionRead(board, s));
}

}  // namespace

void WakeServer(Board *board) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(board->wake_fd, &one, sizeof one);
}

void ServeBoard(Board *board) {
    Session session;
    while (!board->stopping.load()) ServeOnce(board, &session);
    CloseSession(board, &session);
    if (board->listen_fd >= 0) ::close(board->listen_fd);
    board->listen_fd = -1;
}

}  // namespace swathboard
