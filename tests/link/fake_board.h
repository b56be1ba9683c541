// A listening socket on a loopback address, port 4000, standing in for the
// board where only the connection matters.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sl::test {

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class FakeBoard {
public:
    explicit FakeBoard(const std::string &ip) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(4000);
        inet_pton(AF_INET, ip.c_str(), &at.sin_addr);
        ok_ = bind(fd_, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0 && listen(fd_, 8) == 0;
        thread_ = std::thread([this] { Accept(); });
    }
    ~FakeBoard() {
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        thread_.join();
        for (int c : accepted_) close(c);
    }
    bool ok() const { return ok_; }
    int Connections() {
        std::lock_guard<std::mutex> hold(lock_);
        return static_cast<int>(accepted_.size());
    }
    int Last() {
        std::lock_guard<std::mutex> hold(lock_);
        return accepted_.empty() ? -1 : accepted_.back();
    }
    // Reads exactly n bytes from the latest connection. A connect completes
    // before the accepting thread has taken it, so wait for that first.
    std::vector<uint8_t> Read(size_t n) {
        std::vector<uint8_t> out(n);
        size_t got = 0;
        for (int i = 0; i < 5000 && Last() < 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const int c = Last();
        while (got < n) {
            ssize_t r = recv(c, out.data() + got, n - got, 0);
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        out.resize(got);
        return out;
    }

private:
    void Accept() {
        for (;;) {
            int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::lock_guard<std::mutex> hold(lock_);
            accepted_.push_back(c);
        }
    }
    int fd_ = -1;
    bool ok_ = false;
    std::mutex lock_;
    std::vector<int> accepted_;
    std::thread thread_;
};

}  // namespace sl::test
