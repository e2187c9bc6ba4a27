// SPDX-License-Identifier: Apache-2.0
#pragma once
// A CBootLink wired to an in-process simulated unit on loopback, with its notifications queued.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BootLink.h"
#include "BootMessageQueue.h"
#include "EngineHarnessFiles.h"
#include "LinkObserver.h"
#include "LoopbackUnit.h"
#include "PathChooser.h"
#include "TempDir.h"
#include "UnitSim.h"

// The engine's notes, in order, for waiting on what the worker did.
struct CNoteRecorder : ILinkObserver {
    void OnDatagram(EDatagramWay, const uint8_t*, size_t) override {}
    void OnEngineNote(const char* text) override {
        std::lock_guard<std::mutex> guard(mutex);
        notes.emplace_back(text);
    }
    std::vector<std::string> Notes() {
        std::lock_guard<std::mutex> guard(mutex);
        return notes;
    }
    // Index of the first note after `after` that equals text (or, with prefix, starts with it),
    // or -1 (bounded wait).
    int Find(const std::string& text, int after = -1, bool prefix = false) {
        for (int waited = 0; waited <= 2000; waited += 10) {
            const auto seen = Notes();
            const auto it = std::find_if(seen.begin() + (after + 1), seen.end(), [&](const auto& n) {
                return prefix ? n.starts_with(text) : n == text;
            });
            if (it != seen.end()) return static_cast<int>(it - seen.begin());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    // How many notes after `after` start with text; no waiting.
    int CountStarting(const std::string& text, int after) {
        const auto seen = Notes();
        return static_cast<int>(std::count_if(seen.begin() + (after + 1), seen.end(),
                                              [&](const auto& n) { return n.starts_with(text); }));
    }
    std::mutex mutex;
    std::vector<std::string> notes;
};

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
    // Shows that nothing was posted since the last notification taken, without waiting out a
    // clock: the unit answers a read-version command after every reply it owed before, and the
    // worker posts in the order it receives, so that answer must be the very next notification.
    // Whatever the worker still had to do about an earlier command must be under way (its
    // answer or its note seen), or the probe would replace it.
    void ExpectNothingPostedBeforeAProbe() {
        ASSERT_TRUE(m_link.StartCommand(CMD_READ_VERSION, WAKE_STANDARD, 5, 500));
        const CBootMessage m = Next(5000);
        EXPECT_EQ(m.message, WM_BOOT_REPLY) << "posted before the probe's answer";
        EXPECT_EQ(m.reply[0], CMD_READ_VERSION) << "a reply was posted before the probe's answer";
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
    // An observer outlives the worker, which TearDown stops.
    CNoteRecorder m_notes;
    std::unique_ptr<CUnitSim> m_unit;
    CBootMessageQueue m_queue;
    CBootLink m_link;
};
