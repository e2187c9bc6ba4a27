#pragma once
// A CBootLink wired to an in-process simulated unit on loopback, with its notifications queued.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BootLink.h"
#include "BootMessageQueue.h"
#include "EngineHarnessFiles.h"
#include "LoopbackUnit.h"
#include "PathChooser.h"
#include "TempDir.h"
#include "UnitSim.h"

class EngineTest : public ::testing::Test {
  protected:
    void StartUnit(CUnitSimConfig config = {}) {
        // the engine's commands are started here without a Connect
        m_unit = StartLoopbackUnit(EWakeup::kAwake, std::move(config));
        ASSERT_NE(m_unit->Port(), 0);
        ASSERT_TRUE(m_link.Open(m_unit->Port(), htonl(INADDR_LOOPBACK)));
        m_link.SetFileChooser(&m_chooser);
        m_link.StartWorker(&m_queue);
    }
    void LoadText(const std::string& text) {
        m_chooser.m_path = m_dir.Write(m_dir.NewName(".hex"), text);
        ASSERT_TRUE(m_link.Load());
    }
    // The next notification within timeoutMs, or message 0.
    CBootMessage Next(int timeoutMs) {
        CBootMessage m;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            if (m_queue.Take(m)) return m;
            m_queue.WaitFor(20);
        }
        return CBootMessage{};
    }
    // Waits until the unit has seen at least count requests (bounded).
    bool WaitForRequests(size_t count, int timeoutMs) {
        for (int waited = 0; waited < timeoutMs; waited += 5) {
            if (m_unit->RequestCount() >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return m_unit->RequestCount() >= count;
    }
    std::vector<CSeenRequest> Frames() {
        std::vector<CSeenRequest> frames;
        for (auto& r : m_unit->Requests())
            if (!r.wakeup) frames.push_back(r);
        return frames;
    }
    uint16_t ImageRange(uint32_t& start, uint32_t& length, uint16_t& crc) {
        return m_link.WithHexFile(
            [&](CHexFile& file) { return file.ComputeImageCrc(start, length, crc); });
    }
    // The unit's flash holds the file's image over the verify range; returns the range's length.
    uint32_t ExpectUnitHoldsImage() {
        uint32_t start = 0, length = 0;
        uint16_t crc = 0;
        ImageRange(start, length, crc);
        EXPECT_EQ(m_unit->FlashCrc(start, length), crc);
        return length;
    }
    void TearDown() override {
        m_link.StopWorker();
        if (m_unit) m_unit->Stop();
    }

    CPathChooser m_chooser;
    CTempDir m_dir;
    std::unique_ptr<CUnitSim> m_unit;
    CBootMessageQueue m_queue;
    CBootLink m_link;
};
