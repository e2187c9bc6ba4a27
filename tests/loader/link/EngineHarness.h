#pragma once
// A CBootLink wired to an in-process simulated unit on loopback, with its notifications queued.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "BootLink.h"
#include "BootMessageQueue.h"
#include "EngineHarnessFiles.h"
#include "UnitSim.h"

class EngineTest : public ::testing::Test {
  protected:
    void StartUnit(CUnitSimConfig config = {}) {
        config.bindAddress = "127.0.0.1";
        config.port = 0;
        config.wakeupNeeded = false;  // the engine's commands are started here without a Connect
        unit_ = std::make_unique<CUnitSim>(config);
        ASSERT_TRUE(unit_->Start());
        ASSERT_TRUE(link_.Open(unit_->Port(), htonl(INADDR_LOOPBACK)));
        link_.SetFileChooser(&chooser_);
        link_.StartWorker(&queue_);
    }
    void LoadText(const std::string& text) {
        file_ = std::make_unique<CTempFile>(text);
        chooser_.path = file_->Path();
        ASSERT_TRUE(link_.Load());
    }
    // The next notification within timeoutMs, or message 0.
    CBootMessage Next(int timeoutMs) {
        CBootMessage m;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            if (queue_.Take(m)) return m;
            queue_.WaitFor(20);
        }
        return CBootMessage{};
    }
    // Waits until the unit has seen at least count requests (bounded).
    bool WaitForRequests(size_t count, int timeoutMs) {
        for (int waited = 0; waited < timeoutMs; waited += 5) {
            if (unit_->RequestCount() >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return unit_->RequestCount() >= count;
    }
    std::vector<CSeenRequest> Frames() {
        std::vector<CSeenRequest> frames;
        for (auto& r : unit_->Requests())
            if (!r.wakeup) frames.push_back(r);
        return frames;
    }
    uint16_t ImageRange(uint32_t& start, uint32_t& length, uint16_t& crc) {
        return link_.WithHexFile(
            [&](CHexFile& file) { return file.ComputeImageCrc(start, length, crc); });
    }
    // The unit's flash holds the file's image over the verify range; returns the range's length.
    uint32_t ExpectUnitHoldsImage() {
        uint32_t start = 0, length = 0;
        uint16_t crc = 0;
        ImageRange(start, length, crc);
        EXPECT_EQ(unit_->FlashCrc(start, length), crc);
        return length;
    }
    void TearDown() override {
        link_.StopWorker();
        if (unit_) unit_->Stop();
    }

    CPathChooser chooser_;
    std::unique_ptr<CTempFile> file_;
    std::unique_ptr<CUnitSim> unit_;
    CBootMessageQueue queue_;
    CBootLink link_;
};
