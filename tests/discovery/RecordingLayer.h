// SPDX-License-Identifier: Apache-2.0
#pragma once

// A window layer that keeps everything in memory and records what frmMain did to it, with
// failures that a test can inject into any one operation.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/AnnounceSocket.h"
#include "core/DeviceRows.h"
#include "core/ListDesign.h"
#include "core/WindowLayer.h"

// An operation named in m_failing fails with this error, every time until cleared.
inline constexpr CResult kInjected{9999, "Injected failure"};

class CFaults {
  public:
    void Fail(std::string operation) { m_failing.push_back(std::move(operation)); }
    void ClearFaults() { m_failing.clear(); }
    CResult Check(const char* operation) const {
        for (const std::string& name : m_failing) {
            if (name == operation) return kInjected;
        }
        return {};
    }

  private:
    std::vector<std::string> m_failing;
};

class CRecordingList : public IDeviceListView, public CFaults {
  public:
    CRecordingList();

    int ColumnCount() const override { return static_cast<int>(m_keys.size()); }
    std::string_view ColumnKey(int position) const override;
    int ColumnWidth(int position) const override;
    CResult SetColumnWidth(int position, int twips) override;
    int Left() const override { return m_left; }
    int Top() const override { return m_top; }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    CResult Move(int left, int top) override;
    CResult SetSize(int width, int height) override;
    int RowCount() const override { return m_rows.Count(); }
    CResult AddRow(std::string_view text, int* row) override;
    CResult RemoveRow(int row) override;
    CResult Clear() override;
    CResult RowText(int row, std::string_view* text) const override;
    CResult SetRowText(int row, std::string_view text) override;
    CResult SubItem(int row, int index, std::string_view* text) const override;
    CResult SetSubItem(int row, int index, std::string_view text) override;
    CResult SmallIcon(int row, std::string_view* key) const override;
    CResult SetSmallIcon(int row, std::string_view key) override;
    CResult Tag(int row, int* tag) const override;
    CResult SetTag(int row, int tag) override;
    CResult FindDevice(std::string_view mac, int* row) const override;
    CResult MarkHeard(int row) override;
    int EvictionCandidate() const override { return m_rows.EvictionCandidate(); }

    // 1-based, as the layer counts.
    const CDeviceRow& Row(int row) const;
    std::vector<std::string> Texts() const;
    void DropColumn(std::string_view key);

    std::vector<std::string> m_keys;
    std::vector<int> m_widths;
    CDeviceRowStore m_rows;
    int m_left = 120;
    int m_top = 90;
    int m_width = kListWidthTwips;
    int m_height = kListHeightTwips;
};

class CRecordingForm : public IFormWindow, public CFaults {
  public:
    int OuterWidth() const override { return m_clientWidth + m_frameWidth; }
    int OuterHeight() const override { return m_clientHeight + m_frameHeight; }
    int ClientWidth() const override { return m_clientWidth; }
    int ClientHeight() const override { return m_clientHeight; }
    CResult SetOuterWidth(int twips) override;
    CResult SetOuterHeight(int twips) override;
    bool IsMinimised() const override { return m_minimised; }

    int m_clientWidth = 4800;
    int m_clientHeight = 3600;
    int m_frameWidth = 240;   // borders
    int m_frameHeight = 690;  // caption and borders
    bool m_minimised = false;
};

class CRecordingTimer : public IWindowTimer, public CFaults {
  public:
    CResult SetInterval(int milliseconds) override;
    CResult Start() override;
    void Stop() override { m_running = false; }

    int m_interval = 0;
    bool m_running = false;
};

class CRecordingMessageBox : public IMessageBox {
  public:
    void ShowError(std::string_view title, std::string_view text) override;

    std::vector<std::string> m_titles;
    std::vector<std::string> m_texts;
    // Runs while the box is "open", as further window events would.
    std::function<void()> m_whileOpen;
};

struct CQueuedDatagram {
    std::string payload;
    uint32_t sender;
};

class CRecordingSocket : public IAnnounceSocket, public CFaults {
  public:
    CResult SetProtocolUdp() override;
    CResult Bind(uint16_t port) override;
    CResult ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                         uint32_t* sender) override;
    void Close() override { m_open = m_bound = false; }
    void SetNotifying(bool on) override { m_notifying.push_back(on); }

    void Queue(std::string payload, uint32_t sender = 0x7F000001) {
        m_queue.push_back({std::move(payload), sender});
    }

    bool m_open = false;
    bool m_bound = false;
    uint16_t m_boundPort = 0;
    std::deque<CQueuedDatagram> m_queue;
    std::vector<bool> m_notifying;
};
