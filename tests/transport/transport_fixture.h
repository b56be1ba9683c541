// Per-test state for the transport units: slot buffers, a clean link
// context and queue, a private hidden folder, and a consumer that plays the
// transmit thread's part of the queue.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "api/memory_plan.h"
#include "api/print_mode.h"
#include "shared/board_settings.h"
#include "transport/command_protocol.h"
#include "transport/swath_queue.h"

namespace sl::test {

// What the consumer saw of one sent entry.
struct SentSwath {
    uint32_t Len, Pstart, Pend, NextStart;
    uint16_t Step, Mode, FeedUnits;
    uint8_t Direction;
    std::vector<uint8_t> head;  // first bytes of the data
};

class QueueConsumer {
public:
    explicit QueueConsumer(JobLink *link) : link_(link), thread_([this] { Run(); }) {}
    ~QueueConsumer() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::vector<SentSwath> Sent() {
        std::lock_guard<std::mutex> hold(lock_);
        return sent_;
    }

private:
    void Run() {
        while (!stop_) {
            SwathEntry *e = QueueGetReady(link_);
            if (!e) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            SentSwath s{e->Len,       e->Pstart,    e->Pend, e->NextStart, e->Step, e->Mode,
                        e->FeedUnits, e->Direction, {}};
            s.head.assign(e->Data, e->Data + std::min<uint32_t>(e->Len, 16));
            {
                std::lock_guard<std::mutex> hold(lock_);
                sent_.push_back(s);
            }
            QueueFree(link_, e);
        }
    }
    JobLink *link_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<SentSwath> sent_;
    std::thread thread_;
};

class TransportTest : public ::testing::Test {
protected:
    static constexpr uint32_t kSlotBytes = 1 << 20;

    void SetUp() override {
        char tmpl[] = "/tmp/swathlink-transport-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("SWATHLINK_PRNLOG", dir_.c_str(), 1);
        statusFile_.folder = dir_;
        job_.requests = &requests_;
        job_.prop.XDPI = 360;
        job_.prop.Width = 4000;
        job_.prop.Colors = 4;
        job_.pass.ydpi = 720;
        job_.pass.feeddots = 180;
        slots_.assign(3, std::vector<uint8_t>(kSlotBytes, 0xEE));
        NewLink();
    }
    void TearDown() override {
        link_.reset();
        unsetenv("SWATHLINK_PRNLOG");
        std::filesystem::remove_all(dir_);
    }
    // A fresh link for the job, as the job's opening makes it, with the
    // test's slot buffers.
    void NewLink(const uint8_t *carriedCommand = nullptr) {
        link_.reset();
        link_ = std::make_unique<JobLink>(&job_, &statusFile_, &addresses_, &heartbeat_, carriedCommand);
        uint8_t *const slots[3] = {slots_[0].data(), slots_[1].data(), slots_[2].data()};
        QueueUseBuffers(link_.get(), slots, kSlotBytes);
        QueueInit(link_.get());
        link_->socket = kInvalidSocket;
    }

    std::string dir_;
    std::vector<std::vector<uint8_t>> slots_;
    JobRequests requests_;
    StatusFile statusFile_;
    LinkAddresses addresses_;
    uint8_t *heartbeat_ = nullptr;
    PrintJob job_;
    std::unique_ptr<JobLink> link_;
};

inline uint16_t U16(const uint8_t *p, int at) { return static_cast<uint16_t>(p[at] | p[at + 1] << 8); }
inline uint32_t U32(const uint8_t *p, int at) {
    return static_cast<uint32_t>(U16(p, at)) | static_cast<uint32_t>(U16(p, at + 2)) << 16;
}

}  // namespace sl::test
