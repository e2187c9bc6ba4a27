// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/AnnounceParser.h"
#include "core/AnnounceSocket.h"
#include "core/DottedQuad.h"
#include "core/WindowLayer.h"

// The logic of Pellisk's only window: its start-up, the device rows and their ageing, resizing and
// closing, and the announce listener's arrival handler. Every handler runs on the window's thread.
class CFrmMain {
  public:
    CFrmMain(IFormWindow& form, IDeviceListView& lstDevices, IWindowTimer& tmrTimeout,
             IMessageBox& messageBox, IAnnounceSocket& sktListenAnnounce,
             uint16_t listenPort = kAnnouncePort);

    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void AddDeviceToList(std::string_view name, std::string_view mac, std::string_view ip,
                         std::string_view message);
    void tmrTimeout_Timer();
    void sktListenAnnounce_DataArrival();

    // Position of the column with that key minus one: the sub-item index of its cells.
    static CResult GetSubItemIndex(const IDeviceListView& list, std::string_view key,
                                   int16_t* index);

    bool IsReporting() const { return m_reportDepth > 0; }

  private:
    // Shows the error report when result is a failure; returns whether it was one.
    bool ReportIfFailed(const CResult& result, const char* procedure, int step);
    bool IsPlaceholderRow(int row) const;
    void AppendPlaceholder(const char* procedure, int step);
    bool MakeRoomForNewDevice();
    int FindDeviceRow(std::string_view mac);

    IFormWindow& m_form;
    IDeviceListView& m_lstDevices;
    IWindowTimer& m_tmrTimeout;
    IMessageBox& m_messageBox;
    IAnnounceSocket& m_sktListenAnnounce;
    uint16_t m_listenPort;
    int m_reportDepth = 0;
    std::array<char, kDatagramBufferSize> m_datagram{};
    char m_senderText[kDottedQuadSize] = {};
};
